// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <dfm-extension/menu/dfmextaction.h>
#include <dfm-extension/menu/dfmextmenu.h>
#include <dfm-extension/menu/private/dfmextmenuproxyprivate.h>

#include <list>
#include <memory>
#include <vector>

#include <string>

// The host side of the extension library's menu objects: plain in-memory
// menus and actions that remember what the plug-in set on them. menu-host
// and the tests that play the file manager share them.

// An action as the host creates it (the library's constructor is protected).
class HostAction : public dfmext::DFMExtAction
{
public:
    HostAction();

    // The names of the setters the plug-in called on this action ("setText",
    // "setIcon", ...), in call order.
    const std::vector<std::string> &setterCalls() const;
};

// A menu as the host creates it; the library's destructor is protected, so
// this class is what the host deletes.
class HostMenu : public dfmext::DFMExtMenu
{
public:
    HostMenu();
    ~HostMenu();

    dfmext::DFMExtMenuPrivate *privateData() const { return d; }
};

// The factory behind the proxy handed to the plug-in. It owns every menu and
// action it creates until the plug-in deletes them or the factory is
// destroyed; on destruction each remaining object's "deleted" callback runs
// first, as a file manager does when it tears a menu down.
class HostMenuFactory : public dfmext::DFMExtMenuProxyPrivate
{
public:
    ~HostMenuFactory() override;

    dfmext::DFMExtMenu *createMenu() override;
    bool deleteMenu(dfmext::DFMExtMenu *menu) override;
    dfmext::DFMExtAction *createAction() override;
    bool deleteAction(dfmext::DFMExtAction *action) override;

    // How often the plug-in asked for an action, handed out or not.
    int actionRequests() const { return requestedActions; }
    // With `refuse` set, createAction hands out nothing, as a host out of
    // resources might.
    void setRefusesActions(bool refuse) { refusesActions = refuse; }

    // Every action of `menu` and of its sub-menus, depth first.
    static std::list<dfmext::DFMExtAction *> allActions(const dfmext::DFMExtMenu *menu);

private:
    std::vector<std::unique_ptr<HostMenu>> menus;     // owned, in creation order
    std::vector<std::unique_ptr<HostAction>> actions; // owned, in creation order
    int requestedActions = 0;
    bool refusesActions = false;
};
