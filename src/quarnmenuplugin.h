// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <dfm-extension/menu/dfmextmenuplugin.h>

#include <list>
#include <string>

namespace dfmext {
class DFMExtMenu;
class DFMExtMenuProxy;
} // namespace dfmext

namespace QuarnGui {

// The extension's one menu plug-in: adds "磁盘使用统计" to the context menu of a
// single selected item and, when chosen, runs the disk-usage tool on it and
// shows the report. The host reaches it only through the callbacks that the
// constructor registers on the base.
class QuarnMenuPlugin : public dfmext::DFMExtMenuPlugin
{
public:
    QuarnMenuPlugin();
    ~QuarnMenuPlugin();

    void initialize(dfmext::DFMExtMenuProxy *proxy);
    bool buildNormalMenu(dfmext::DFMExtMenu *main, const std::string &currentUrl, const std::string &focusUrl,
                         const std::list<std::string> &urlList, bool onDesktop);
    std::string removeScheme(const std::string &url);
    void showQuarnOutput(const std::string &path);

private:
    dfmext::DFMExtMenuProxy *menuProxy; // not owned; set by initialize()
};

} // namespace QuarnGui
