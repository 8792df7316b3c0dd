// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "modalwindowcloser.h"

#include <QApplication>
#include <QDialog>
#include <QTextEdit>
#include <QWidget>

ModalWindowCloser::ModalWindowCloser()
{
    connect(&timer, &QTimer::timeout, this, &ModalWindowCloser::poll);
    timer.start(20);
}

void ModalWindowCloser::poll()
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window)
        return;
    ShownWindow seen{QString::fromLatin1(window->metaObject()->className()), window->windowTitle(),
                     QString()};
    if (auto *textEdit = window->findChild<QTextEdit *>())
        seen.text = textEdit->toPlainText();
    shown.append(seen);
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->reject();
    else
        window->close();
}
