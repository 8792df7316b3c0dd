// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "hostmenu.h"

#include <dfm-extension/menu/private/dfmextactionprivate.h>
#include <dfm-extension/menu/private/dfmextmenuprivate.h>

#include <algorithm>

using dfmext::DFMExtAction;
using dfmext::DFMExtMenu;

namespace {

// An action's properties, kept as plain values, and the setters called on it.
class ActionData : public dfmext::DFMExtActionPrivate
{
public:
    void setIcon(const std::string &value) override { record("setIcon"), iconName = value; }
    std::string icon() const override { return iconName; }
    void setText(const std::string &value) override { record("setText"), label = value; }
    std::string text() const override { return label; }
    void setToolTip(const std::string &value) override { record("setToolTip"), tip = value; }
    std::string toolTip() const override { return tip; }
    void setMenu(DFMExtMenu *value) override { record("setMenu"), subMenu = value; }
    DFMExtMenu *menu() const override { return subMenu; }
    void setSeparator(bool b) override { record("setSeparator"), separator = b; }
    bool isSeparator() const override { return separator; }
    void setCheckable(bool b) override { record("setCheckable"), checkable = b; }
    bool isCheckable() const override { return checkable; }
    void setChecked(bool b) override { record("setChecked"), checked = b; }
    bool isChecked() const override { return checked; }
    void setEnabled(bool b) override { record("setEnabled"), enabled = b; }
    bool isEnabled() const override { return enabled; }

    std::vector<std::string> calls; // setter names, in call order

private:
    void record(const char *setter) { calls.emplace_back(setter); }

    std::string iconName;
    std::string label;
    std::string tip;
    DFMExtMenu *subMenu = nullptr; // not owned: the factory owns every menu
    bool separator = false;
    bool checkable = false;
    bool checked = false;
    bool enabled = true;
};

// A menu's title, icon and action list, kept as plain values.
class MenuData : public dfmext::DFMExtMenuPrivate
{
public:
    explicit MenuData(DFMExtAction *ownAction) : ownAction(ownAction) {}

    std::string title() const override { return titleText; }
    void setTitle(const std::string &value) override { titleText = value; }
    std::string icon() const override { return iconName; }
    void setIcon(const std::string &value) override { iconName = value; }

    bool addAction(DFMExtAction *action) override
    {
        if (!action || contains(action))
            return false;
        entries.push_back(action);
        return true;
    }

    bool insertAction(DFMExtAction *before, DFMExtAction *action) override
    {
        if (!action || contains(action))
            return false;
        entries.insert(std::find(entries.begin(), entries.end(), before), action);
        return true;
    }

    DFMExtAction *menuAction() const override { return ownAction; }
    std::list<DFMExtAction *> actions() const override { return entries; }

    void remove(DFMExtAction *action) { entries.remove(action); }

private:
    bool contains(DFMExtAction *action) const
    {
        return std::find(entries.begin(), entries.end(), action) != entries.end();
    }

    DFMExtAction *ownAction; // not owned: the factory owns every action
    std::string titleText;
    std::string iconName;
    std::list<DFMExtAction *> entries; // not owned, in menu order
};

} // namespace

HostAction::HostAction() : DFMExtAction(new ActionData)
{}

const std::vector<std::string> &HostAction::setterCalls() const
{
    // Every HostAction is built on an ActionData.
    return static_cast<const ActionData *>(d)->calls;
}

HostMenu::HostMenu() : DFMExtMenu(new MenuData(nullptr))
{}

HostMenu::~HostMenu() = default;

HostMenuFactory::~HostMenuFactory()
{
    for (auto &menu : menus)
        menu->deleted(menu.get());
    for (auto &action : actions)
        action->deleted(action.get());
}

DFMExtMenu *HostMenuFactory::createMenu()
{
    menus.push_back(std::make_unique<HostMenu>());
    return menus.back().get();
}

bool HostMenuFactory::deleteMenu(DFMExtMenu *menu)
{
    auto it =
        std::find_if(menus.begin(), menus.end(), [menu](const auto &owned) { return owned.get() == menu; });
    if (it == menus.end())
        return false;
    menu->deleted(menu);
    for (auto &action : actions) {
        if (action->menu() == menu)
            action->setMenu(nullptr);
    }
    menus.erase(it);
    return true;
}

DFMExtAction *HostMenuFactory::createAction()
{
    ++requestedActions;
    if (refusesActions)
        return nullptr;
    actions.push_back(std::make_unique<HostAction>());
    return actions.back().get();
}

bool HostMenuFactory::deleteAction(DFMExtAction *action)
{
    auto it = std::find_if(actions.begin(), actions.end(),
                           [action](const auto &owned) { return owned.get() == action; });
    if (it == actions.end())
        return false;
    action->deleted(action);
    // Every HostMenu is built on a MenuData.
    for (auto &menu : menus)
        static_cast<MenuData *>(menu->privateData())->remove(action);
    actions.erase(it);
    return true;
}

std::list<DFMExtAction *> HostMenuFactory::allActions(const DFMExtMenu *menu)
{
    std::list<DFMExtAction *> found;
    for (DFMExtAction *action : menu->actions()) {
        found.push_back(action);
        if (const DFMExtMenu *sub = action->menu())
            found.splice(found.end(), allActions(sub));
    }
    return found;
}
