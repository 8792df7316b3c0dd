// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTMENUPROXYPRIVATE_H
#define DFMEXTMENUPROXYPRIVATE_H

#include <dfm-extension/menu/dfmextmenuproxy.h>

BEGEN_DFMEXT_NAMESPACE

// Host side of DFMExtMenuProxy: the host's factory for menus and actions.
// DFMExtMenuProxy owns one of these and forwards each call unchanged, so a
// subclass decides what a plug-in gets (createAction() may, for instance,
// return nullptr to model a host that refuses). Menus and actions created
// here belong to the host; the delete calls return false for objects the
// host does not know. Plug-ins never include this header.
class DFMExtMenuProxyPrivate
{
public:
    virtual ~DFMExtMenuProxyPrivate();

    virtual DFMExtMenu *createMenu() = 0;
    virtual bool deleteMenu(DFMExtMenu *menu) = 0;
    virtual DFMExtAction *createAction() = 0;
    virtual bool deleteAction(DFMExtAction *action) = 0;
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTMENUPROXYPRIVATE_H
