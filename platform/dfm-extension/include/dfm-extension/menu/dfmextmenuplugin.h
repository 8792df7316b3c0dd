// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTMENUPLUGIN_H
#define DFMEXTMENUPLUGIN_H

#include <dfm-extension/dfm-extension-global.h>

#include <functional>
#include <list>
#include <string>

BEGEN_DFMEXT_NAMESPACE

class DFMExtMenu;
class DFMExtMenuProxy;
class DFMExtMenuPluginPrivate;

// A plug-in's menu object. The plug-in registers its callbacks; the host calls
// initialize() with its proxy and then one of the builders for each menu. Each
// call forwards to the registered function; the builders return false when
// none is registered.
class DFMExtMenuPlugin
{
    DFM_DISABLE_COPY(DFMExtMenuPlugin)

public:
    using InitializeFunc = std::function<void(DFMExtMenuProxy *)>;
    using BuildNormalMenuFunc = std::function<bool(DFMExtMenu *, const std::string &, const std::string &,
                                                   const std::list<std::string> &, bool)>;
    using BuildEmptyAreaMenuFunc = std::function<bool(DFMExtMenu *, const std::string &, bool)>;

    DFMExtMenuPlugin();
    ~DFMExtMenuPlugin();

    DFM_FAKE_VIRTUAL void initialize(DFMExtMenuProxy *proxy);
    DFM_FAKE_VIRTUAL bool buildNormalMenu(DFMExtMenu *main, const std::string &currentUrl,
                                          const std::string &focusUrl, const std::list<std::string> &urlList,
                                          bool onDesktop);
    DFM_FAKE_VIRTUAL bool buildEmptyAreaMenu(DFMExtMenu *main, const std::string &currentUrl, bool onDesktop);

    void registerInitialize(const InitializeFunc &func);
    void registerBuildNormalMenu(const BuildNormalMenuFunc &func);
    void registerBuildEmptyAreaMenu(const BuildEmptyAreaMenuFunc &func);

private:
    DFMExtMenuPluginPrivate *d; // owned
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTMENUPLUGIN_H
