// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "dtkwidget_global.h"

#include <QLabel>

DWIDGET_BEGIN_NAMESPACE

// The DTK label: a QLabel that takes the dialog's font and palette like any
// other DTK widget; it adds no API of its own here.
class DLabel : public QLabel
{
    Q_OBJECT

public:
    explicit DLabel(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    DLabel(const QString &text, QWidget *parent = nullptr);
};

DWIDGET_END_NAMESPACE
