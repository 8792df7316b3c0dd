// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// What a modal window looked like when it came up.
struct ShownWindow
{
    QString className; // meta-object class name
    QString title;
    QString text; // the plain text of its QTextEdit, if it has one
};

// Watches for modal windows while the code under test runs its own modal
// loop: records each one that appears and closes it with reject(), so that a
// test never blocks on exec().
class ModalWindowCloser : public QObject
{
public:
    ModalWindowCloser();

    const QList<ShownWindow> &windows() const { return shown; }

private:
    void poll();

    QTimer timer;
    QList<ShownWindow> shown;
};
