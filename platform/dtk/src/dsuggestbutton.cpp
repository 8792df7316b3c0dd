// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dsuggestbutton.h"

#include <QPalette>

DWIDGET_BEGIN_NAMESPACE

namespace {

void highlight(QPushButton *button)
{
    QPalette palette = button->palette();
    palette.setBrush(QPalette::Button, palette.highlight());
    palette.setBrush(QPalette::ButtonText, palette.highlightedText());
    button->setPalette(palette);
}

} // namespace

DSuggestButton::DSuggestButton(QWidget *parent) : QPushButton(parent)
{
    highlight(this);
}

DSuggestButton::DSuggestButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    highlight(this);
}

DWIDGET_END_NAMESPACE
