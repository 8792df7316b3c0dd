// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The plug-in's entry points, looked up by name by the file manager.
#include "quarnmenuplugin.h"

#include <dfm-extension/dfm-extension.h>

#define QUARN_GUI_EXPORT extern "C" __attribute__((visibility("default")))

// Current file managers look this spelling up first.
QUARN_GUI_EXPORT void dfm_extension_initialize()
{}

// The historical spelling, which older file managers require.
QUARN_GUI_EXPORT void dfm_extension_initiliaze()
{}

QUARN_GUI_EXPORT void dfm_extension_shutdown()
{}

QUARN_GUI_EXPORT dfmext::DFMExtMenuPlugin *dfm_extension_menu()
{
    static QuarnGui::QuarnMenuPlugin plugin;
    return &plugin;
}
