// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dlabel.h"

DWIDGET_BEGIN_NAMESPACE

DLabel::DLabel(QWidget *parent, Qt::WindowFlags flags) : QLabel(parent, flags)
{}

DLabel::DLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{}

DWIDGET_END_NAMESPACE
