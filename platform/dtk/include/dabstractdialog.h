// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "dtkwidget_global.h"

#include <QDialog>

DWIDGET_BEGIN_NAMESPACE

// Common base of the DTK dialogs: a QDialog that starts at 380 x 120 and
// centres itself each time it is shown, on its parent window or on the screen
// under the mouse pointer, until it has been moved with move() or
// setGeometry(). The centring uses the size the dialog has when the show
// event arrives.
class DAbstractDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DAbstractDialog(QWidget *parent = nullptr);

    // Not virtual in QWidget: these hide its versions, so that only a move
    // through the dialog's own type stops the centring.
    void move(const QPoint &pos);
    void setGeometry(const QRect &rect);

public slots:
    void moveToCenter();
    void moveToCenterByRect(const QRect &rect);

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool moved = false; // set by move() and setGeometry(); the dialog then stays where it was put
};

DWIDGET_END_NAMESPACE
