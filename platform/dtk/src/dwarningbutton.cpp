// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dwarningbutton.h"

#include <QPalette>

DWIDGET_BEGIN_NAMESPACE

DWarningButton::DWarningButton(QWidget *parent) : QPushButton(parent)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::ButtonText, QColor(0xd7, 0x1a, 0x1a));
    setPalette(palette);
}

DWIDGET_END_NAMESPACE
