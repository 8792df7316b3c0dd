// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "dtkwidget_global.h"

#include <QPushButton>

DWIDGET_BEGIN_NAMESPACE

// The push button for the action a dialog recommends: drawn in the
// highlight colour with the highlighted-text colour on it.
class DSuggestButton : public QPushButton
{
    Q_OBJECT

public:
    explicit DSuggestButton(QWidget *parent = nullptr);
    explicit DSuggestButton(const QString &text, QWidget *parent = nullptr);
};

DWIDGET_END_NAMESPACE
