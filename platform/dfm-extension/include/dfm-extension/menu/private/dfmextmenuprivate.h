// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTMENUPRIVATE_H
#define DFMEXTMENUPRIVATE_H

#include <dfm-extension/menu/dfmextmenu.h>

#include <list>
#include <string>

BEGEN_DFMEXT_NAMESPACE

// Host side of DFMExtMenu. A host subclasses this to keep a menu's title,
// icon and actions its own way; DFMExtMenu forwards every call to it. The
// functions a plug-in registers are kept here, in the plain fields below, and
// called by DFMExtMenu::triggered(), hovered() and deleted() when set.
// Plug-ins never include this header.
class DFMExtMenuPrivate
{
public:
    virtual ~DFMExtMenuPrivate();

    virtual std::string title() const = 0;
    virtual void setTitle(const std::string &title) = 0;
    virtual std::string icon() const = 0;
    virtual void setIcon(const std::string &iconName) = 0;
    virtual bool addAction(DFMExtAction *action) = 0;
    virtual bool insertAction(DFMExtAction *before, DFMExtAction *action) = 0;
    virtual DFMExtAction *menuAction() const = 0;
    virtual std::list<DFMExtAction *> actions() const = 0;

    DFMExtMenu::TriggeredFunc triggeredFunc; // empty until the plug-in registers one
    DFMExtMenu::HoveredFunc hoveredFunc;
    DFMExtMenu::DeletedFunc deletedFunc;
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTMENUPRIVATE_H
