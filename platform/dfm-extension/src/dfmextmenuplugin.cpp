// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <dfm-extension/menu/dfmextmenuplugin.h>

BEGEN_DFMEXT_NAMESPACE

// The functions a plug-in registered; internal to the library.
class DFMExtMenuPluginPrivate
{
public:
    DFMExtMenuPlugin::InitializeFunc initializeFunc;
    DFMExtMenuPlugin::BuildNormalMenuFunc buildNormalMenuFunc;
    DFMExtMenuPlugin::BuildEmptyAreaMenuFunc buildEmptyAreaMenuFunc;
};

DFMExtMenuPlugin::DFMExtMenuPlugin() : d(new DFMExtMenuPluginPrivate)
{}

DFMExtMenuPlugin::~DFMExtMenuPlugin()
{
    delete d;
}

void DFMExtMenuPlugin::initialize(DFMExtMenuProxy *proxy)
{
    if (d->initializeFunc)
        d->initializeFunc(proxy);
}

bool DFMExtMenuPlugin::buildNormalMenu(DFMExtMenu *main, const std::string &currentUrl,
                                       const std::string &focusUrl, const std::list<std::string> &urlList,
                                       bool onDesktop)
{
    if (!d->buildNormalMenuFunc)
        return false;
    return d->buildNormalMenuFunc(main, currentUrl, focusUrl, urlList, onDesktop);
}

bool DFMExtMenuPlugin::buildEmptyAreaMenu(DFMExtMenu *main, const std::string &currentUrl, bool onDesktop)
{
    if (!d->buildEmptyAreaMenuFunc)
        return false;
    return d->buildEmptyAreaMenuFunc(main, currentUrl, onDesktop);
}

void DFMExtMenuPlugin::registerInitialize(const InitializeFunc &func)
{
    d->initializeFunc = func;
}

void DFMExtMenuPlugin::registerBuildNormalMenu(const BuildNormalMenuFunc &func)
{
    d->buildNormalMenuFunc = func;
}

void DFMExtMenuPlugin::registerBuildEmptyAreaMenu(const BuildEmptyAreaMenuFunc &func)
{
    d->buildEmptyAreaMenuFunc = func;
}

END_DFMEXT_NAMESPACE
