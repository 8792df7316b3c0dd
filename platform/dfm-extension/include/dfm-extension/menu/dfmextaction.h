// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTACTION_H
#define DFMEXTACTION_H

#include <dfm-extension/dfm-extension-global.h>

#include <functional>
#include <string>

BEGEN_DFMEXT_NAMESPACE

class DFMExtMenu;
class DFMExtActionPrivate;

// A menu entry owned by the host. Properties are forwarded to the host's
// private object; the host reports triggers, hovers and deletion through the
// registered functions.
class DFMExtAction
{
    DFM_DISABLE_COPY(DFMExtAction)

public:
    using TriggeredFunc = std::function<void(DFMExtAction *, bool)>;
    using HoveredFunc = std::function<void(DFMExtAction *)>;
    using DeletedFunc = std::function<void(DFMExtAction *)>;

    ~DFMExtAction();

    void setIcon(const std::string &icon);
    std::string icon() const;
    void setText(const std::string &text);
    std::string text() const;
    void setToolTip(const std::string &tip);
    std::string toolTip() const;
    void setMenu(DFMExtMenu *menu);
    DFMExtMenu *menu() const;
    void setSeparator(bool b);
    bool isSeparator() const;
    void setCheckable(bool b);
    bool isCheckable() const;
    void setChecked(bool b);
    bool isChecked() const;
    void setEnabled(bool b);
    bool isEnabled() const;

    void triggered(DFMExtAction *self, bool checked = false);
    void hovered(DFMExtAction *self);
    void deleted(DFMExtAction *self);

    void registerTriggered(const TriggeredFunc &func);
    void registerHovered(const HoveredFunc &func);
    void registerDeleted(const DeletedFunc &func);

protected:
    explicit DFMExtAction(DFMExtActionPrivate *d_ptr); // takes ownership

    DFMExtActionPrivate *d; // owned
};

END_DFMEXT_NAMESPACE

#endif // DFMEXTACTION_H
