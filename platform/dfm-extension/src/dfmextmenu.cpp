// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <dfm-extension/menu/dfmextmenu.h>
#include <dfm-extension/menu/private/dfmextmenuprivate.h>

BEGEN_DFMEXT_NAMESPACE

DFMExtMenuPrivate::~DFMExtMenuPrivate() = default;

DFMExtMenu::DFMExtMenu(DFMExtMenuPrivate *d_ptr) : d(d_ptr)
{}

DFMExtMenu::~DFMExtMenu()
{
    delete d;
}

std::string DFMExtMenu::title() const
{
    return d->title();
}

void DFMExtMenu::setTitle(const std::string &title)
{
    d->setTitle(title);
}

std::string DFMExtMenu::icon() const
{
    return d->icon();
}

void DFMExtMenu::setIcon(const std::string &iconName)
{
    d->setIcon(iconName);
}

bool DFMExtMenu::addAction(DFMExtAction *action)
{
    return d->addAction(action);
}

bool DFMExtMenu::insertAction(DFMExtAction *before, DFMExtAction *action)
{
    return d->insertAction(before, action);
}

DFMExtAction *DFMExtMenu::menuAction() const
{
    return d->menuAction();
}

std::list<DFMExtAction *> DFMExtMenu::actions() const
{
    return d->actions();
}

void DFMExtMenu::triggered(DFMExtAction *action)
{
    if (d->triggeredFunc)
        d->triggeredFunc(action);
}

void DFMExtMenu::hovered(DFMExtAction *action)
{
    if (d->hoveredFunc)
        d->hoveredFunc(action);
}

void DFMExtMenu::deleted(DFMExtMenu *self)
{
    if (d->deletedFunc)
        d->deletedFunc(self);
}

void DFMExtMenu::registerTriggered(const TriggeredFunc &func)
{
    d->triggeredFunc = func;
}

void DFMExtMenu::registerHovered(const HoveredFunc &func)
{
    d->hoveredFunc = func;
}

void DFMExtMenu::registerDeleted(const DeletedFunc &func)
{
    d->deletedFunc = func;
}

END_DFMEXT_NAMESPACE
