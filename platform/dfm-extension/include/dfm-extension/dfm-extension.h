// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTENSION_H
#define DFMEXTENSION_H

#include <dfm-extension/dfm-extension-global.h>
#include <dfm-extension/menu/dfmextmenuplugin.h>

BEGEN_DFMEXT_NAMESPACE

// Entry points a plug-in exports with these unmangled names. The host calls
// dfm_extension_initialize (or, when absent, the older misspelt
// dfm_extension_initiliaze) after loading, dfm_extension_menu to get the
// plug-in's menu object, and dfm_extension_shutdown before unloading.
extern "C" void dfm_extension_initialize();
extern "C" void dfm_extension_initiliaze();
extern "C" void dfm_extension_shutdown();
extern "C" DFMExtMenuPlugin *dfm_extension_menu();

END_DFMEXT_NAMESPACE

#endif // DFMEXTENSION_H
