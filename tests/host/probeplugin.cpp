// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A plug-in that reports on stdout, one "probe: ..." line each, every call
// menu-host makes into it, and adds three actions whatever the selection:
// "text window" and "tree window" open modal windows of known content, "no
// window" opens none. Built twice: with both spellings of the initialise
// entry point, and (PROBE_OLD_SPELLING_ONLY) with the misspelt one only.
#include "probewindows.h"

#include <dfm-extension/dfm-extension.h>
#include <dfm-extension/menu/dfmextaction.h>
#include <dfm-extension/menu/dfmextmenu.h>
#include <dfm-extension/menu/dfmextmenuproxy.h>

#include <iostream>

namespace {

class ProbeMenuPlugin : public dfmext::DFMExtMenuPlugin
{
public:
    ProbeMenuPlugin()
    {
        registerInitialize([this](dfmext::DFMExtMenuProxy *p) {
            std::cout << "probe: initialize" << std::endl;
            proxy = p;
        });
        registerBuildNormalMenu(
            [this](dfmext::DFMExtMenu *menu, const std::string &current, const std::string &focus,
                   const std::list<std::string> &urls,
                   bool onDesktop) { return build(menu, current, focus, urls, onDesktop); });
    }

private:
    bool build(dfmext::DFMExtMenu *menu, const std::string &current, const std::string &focus,
               const std::list<std::string> &urls, bool onDesktop)
    {
        std::cout << "probe: current " << current << std::endl;
        std::cout << "probe: focus " << focus << std::endl;
        for (const std::string &url : urls)
            std::cout << "probe: url " << url << std::endl;
        std::cout << "probe: desktop " << (onDesktop ? "true" : "false") << std::endl;
        if (!proxy)
            return false;
        for (const char *text : {"text window", "tree window", "no window"}) {
            dfmext::DFMExtAction *action = proxy->createAction();
            action->setText(text);
            action->registerTriggered(&ProbeMenuPlugin::trigger);
            action->registerDeleted(
                [](dfmext::DFMExtAction *a) { std::cout << "probe: deleted " << a->text() << std::endl; });
            menu->addAction(action);
        }
        return true;
    }

    static void trigger(dfmext::DFMExtAction *action, bool checked)
    {
        const std::string text = action->text();
        std::cout << "probe: triggered " << text << (checked ? " checked" : " unchecked") << std::endl;
        int result = -1;
        if (text == "text window")
            result = ProbeTextWindow().exec();
        else if (text == "tree window")
            result = ProbeTreeWindow().exec();
        if (result >= 0)
            std::cout << "probe: window closed " << (result == QDialog::Accepted ? "accepted" : "rejected")
                      << std::endl;
    }

    dfmext::DFMExtMenuProxy *proxy = nullptr; // not owned
};

} // namespace

#ifndef PROBE_OLD_SPELLING_ONLY
extern "C" void dfm_extension_initialize()
{
    std::cout << "probe: dfm_extension_initialize" << std::endl;
}
#endif

extern "C" void dfm_extension_initiliaze()
{
    std::cout << "probe: dfm_extension_initiliaze" << std::endl;
}

extern "C" void dfm_extension_shutdown()
{
    std::cout << "probe: dfm_extension_shutdown" << std::endl;
}

extern "C" dfmext::DFMExtMenuPlugin *dfm_extension_menu()
{
    static ProbeMenuPlugin plugin;
    return &plugin;
}
