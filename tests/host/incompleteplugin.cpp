// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A plug-in lacking one entry point: LACKS_INITIALIZE (both spellings),
// LACKS_SHUTDOWN or LACKS_MENU. A host must refuse it.
#include <dfm-extension/dfm-extension.h>

#ifndef LACKS_INITIALIZE
extern "C" void dfm_extension_initialize()
{}
extern "C" void dfm_extension_initiliaze()
{}
#endif

#ifndef LACKS_SHUTDOWN
extern "C" void dfm_extension_shutdown()
{}
#endif

#ifndef LACKS_MENU
extern "C" dfmext::DFMExtMenuPlugin *dfm_extension_menu()
{
    static dfmext::DFMExtMenuPlugin plugin;
    return &plugin;
}
#endif
