// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "dtkwidget_global.h"

#include <QPushButton>

DWIDGET_BEGIN_NAMESPACE

// The push button for a dangerous action: its text is drawn in red. Like the
// library's own, it declares no meta-object of its own.
class DWarningButton : public QPushButton
{
public:
    DWarningButton(QWidget *parent = nullptr);
};

DWIDGET_END_NAMESPACE
