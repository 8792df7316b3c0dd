// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <dfm-extension/menu/dfmextmenuproxy.h>
#include <dfm-extension/menu/private/dfmextmenuproxyprivate.h>

BEGEN_DFMEXT_NAMESPACE

DFMExtMenuProxyPrivate::~DFMExtMenuProxyPrivate() = default;

DFMExtMenuProxy::DFMExtMenuProxy(DFMExtMenuProxyPrivate *d_ptr) : d(d_ptr)
{}

DFMExtMenuProxy::~DFMExtMenuProxy()
{
    delete d;
}

DFMExtMenu *DFMExtMenuProxy::createMenu()
{
    return d->createMenu();
}

bool DFMExtMenuProxy::deleteMenu(DFMExtMenu *menu)
{
    return d->deleteMenu(menu);
}

DFMExtAction *DFMExtMenuProxy::createAction()
{
    return d->createAction();
}

bool DFMExtMenuProxy::deleteAction(DFMExtAction *action)
{
    return d->deleteAction(action);
}

END_DFMEXT_NAMESPACE
