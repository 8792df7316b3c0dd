// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTACTIONPRIVATE_H
#define DFMEXTACTIONPRIVATE_H

#include <dfm-extension/menu/dfmextaction.h>

#include <string>

BEGEN_DFMEXT_NAMESPACE

// Host side of DFMExtAction. A host subclasses this to store an action's
// properties its own way (for instance in a QAction); DFMExtAction forwards
// every setter and getter to it. The functions a plug-in registers are kept
// here, in the plain fields below, and called by DFMExtAction::triggered(),
// hovered() and deleted() when set. Plug-ins never include this header.
class DFMExtActionPrivate
{
public:
    virtual ~DFMExtActionPrivate();

    virtual void setIcon(const std::string &icon) = 0;
    virtual std::string icon() const = 0;
    virtual void setText(const std::string &text) = 0;
    virtual std::string text() const = 0;
    virtual void setToolTip(const std::string &tip) = 0;
    virtual std::string toolTip() const = 0;
    virtual void setMenu(DFMExtMenu *menu) = 0;
    virtual DFMExtMenu *menu() const = 0;
    virtual void setSeparator(bool b) = 0;
    virtual bool isSeparator() const = 0;
    virtual void setCheckable(bool b) = 0;
    virtual bool isCheckable() const = 0;
    virtual void setChecked(bool b) = 0;
    virtual bool isChecked() const = 0;
    virtual void setEnabled(bool b) = 0;
    virtual bool isEnabled() const = 0;

    DFMExtAction::TriggeredFunc triggeredFunc; // empty until the plug-in registers one
    DFMExtAction::HoveredFunc hoveredFunc;
    DFMExtAction::DeletedFunc deletedFunc;
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTACTIONPRIVATE_H
