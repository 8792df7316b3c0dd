// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTMENUPROXY_H
#define DFMEXTMENUPROXY_H

#include <dfm-extension/dfm-extension-global.h>

BEGEN_DFMEXT_NAMESPACE

class DFMExtMenu;
class DFMExtAction;
class DFMExtMenuProxyPrivate;

// The host's factory for menus and actions, handed to a plug-in through
// DFMExtMenuPlugin::initialize(). Every call is forwarded to the host's
// private object.
class DFMExtMenuProxy
{
    DFM_DISABLE_COPY(DFMExtMenuProxy)

public:
    explicit DFMExtMenuProxy(DFMExtMenuProxyPrivate *d_ptr); // takes ownership
    ~DFMExtMenuProxy();

    DFMExtMenu *createMenu();
    bool deleteMenu(DFMExtMenu *menu);
    DFMExtAction *createAction();
    bool deleteAction(DFMExtAction *action);

private:
    DFMExtMenuProxyPrivate *d; // owned
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTMENUPROXY_H
