// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <dfm-extension/menu/dfmextaction.h>
#include <dfm-extension/menu/private/dfmextactionprivate.h>

BEGEN_DFMEXT_NAMESPACE

DFMExtActionPrivate::~DFMExtActionPrivate() = default;

DFMExtAction::DFMExtAction(DFMExtActionPrivate *d_ptr) : d(d_ptr)
{}

DFMExtAction::~DFMExtAction()
{
    delete d;
}

void DFMExtAction::setIcon(const std::string &icon)
{
    d->setIcon(icon);
}

std::string DFMExtAction::icon() const
{
    return d->icon();
}

void DFMExtAction::setText(const std::string &text)
{
    d->setText(text);
}

std::string DFMExtAction::text() const
{
    return d->text();
}

void DFMExtAction::setToolTip(const std::string &tip)
{
    d->setToolTip(tip);
}

std::string DFMExtAction::toolTip() const
{
    return d->toolTip();
}

void DFMExtAction::setMenu(DFMExtMenu *menu)
{
    d->setMenu(menu);
}

DFMExtMenu *DFMExtAction::menu() const
{
    return d->menu();
}

void DFMExtAction::setSeparator(bool b)
{
    d->setSeparator(b);
}

bool DFMExtAction::isSeparator() const
{
    return d->isSeparator();
}

void DFMExtAction::setCheckable(bool b)
{
    d->setCheckable(b);
}

bool DFMExtAction::isCheckable() const
{
    return d->isCheckable();
}

void DFMExtAction::setChecked(bool b)
{
    d->setChecked(b);
}

bool DFMExtAction::isChecked() const
{
    return d->isChecked();
}

void DFMExtAction::setEnabled(bool b)
{
    d->setEnabled(b);
}

bool DFMExtAction::isEnabled() const
{
    return d->isEnabled();
}

void DFMExtAction::triggered(DFMExtAction *self, bool checked)
{
    if (d->triggeredFunc)
        d->triggeredFunc(self, checked);
}

void DFMExtAction::hovered(DFMExtAction *self)
{
    if (d->hoveredFunc)
        d->hoveredFunc(self);
}

void DFMExtAction::deleted(DFMExtAction *self)
{
    if (d->deletedFunc)
        d->deletedFunc(self);
}

void DFMExtAction::registerTriggered(const TriggeredFunc &func)
{
    d->triggeredFunc = func;
}

void DFMExtAction::registerHovered(const HoveredFunc &func)
{
    d->hoveredFunc = func;
}

void DFMExtAction::registerDeleted(const DeletedFunc &func)
{
    d->deletedFunc = func;
}

END_DFMEXT_NAMESPACE
