// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTMENU_H
#define DFMEXTMENU_H

#include <dfm-extension/dfm-extension-global.h>

#include <functional>
#include <list>
#include <string>

BEGEN_DFMEXT_NAMESPACE

class DFMExtAction;
class DFMExtMenuPrivate;

// A menu owned by the host. The plug-in fills it with actions; the host
// reports triggers, hovers and deletion through the registered functions.
class DFMExtMenu
{
    DFM_DISABLE_COPY(DFMExtMenu)

public:
    using TriggeredFunc = std::function<void(DFMExtAction *)>;
    using HoveredFunc = std::function<void(DFMExtAction *)>;
    using DeletedFunc = std::function<void(DFMExtMenu *)>;

    std::string title() const;
    void setTitle(const std::string &title);
    std::string icon() const;
    void setIcon(const std::string &iconName);

    bool addAction(DFMExtAction *action);
    bool insertAction(DFMExtAction *before, DFMExtAction *action);
    DFMExtAction *menuAction() const;
    std::list<DFMExtAction *> actions() const;

    void triggered(DFMExtAction *action);
    void hovered(DFMExtAction *action);
    void deleted(DFMExtMenu *self);

    void registerTriggered(const TriggeredFunc &func);
    void registerHovered(const HoveredFunc &func);
    void registerDeleted(const DeletedFunc &func);

protected:
    explicit DFMExtMenu(DFMExtMenuPrivate *d_ptr); // takes ownership
    ~DFMExtMenu();

    DFMExtMenuPrivate *d; // owned
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTMENU_H
