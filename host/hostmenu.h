#pragma once

#include <dfm-extension/menu/dfmextaction.h>
#include <dfm-extension/menu/dfmextmenu.h>
#include <dfm-extension/menu/private/dfmextmenuproxyprivate.h>

#include <list>
#include <memory>
#include <vector>

// menu-host's side of the extension library's menu objects: plain in-memory
// menus and actions that remember what the plug-in set on them.

// An action as the host creates it (the library's constructor is protected).
class HostAction : public dfmext::DFMExtAction
{
public:
    HostAction();
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

    // Every action of `menu` and of its sub-menus, depth first.
    static std::list<dfmext::DFMExtAction *> allActions(const dfmext::DFMExtMenu *menu);

private:
    std::vector<std::unique_ptr<HostMenu>> menus;     // owned, in creation order
    std::vector<std::unique_ptr<HostAction>> actions; // owned, in creation order
};
