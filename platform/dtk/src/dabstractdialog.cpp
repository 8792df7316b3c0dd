// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dabstractdialog.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

DWIDGET_BEGIN_NAMESPACE

namespace {

constexpr int kDefaultWidth = 380;
constexpr int kDefaultHeight = 120;

} // namespace

DAbstractDialog::DAbstractDialog(QWidget *parent) : QDialog(parent)
{
    // A starting size that does not count as set by the program, so that
    // subclasses still size the dialog to its contents when it is shown.
    resize(kDefaultWidth, kDefaultHeight);
    setAttribute(Qt::WA_Resized, false);
}

void DAbstractDialog::move(const QPoint &pos)
{
    QDialog::move(pos);
    moved = true;
}

void DAbstractDialog::setGeometry(const QRect &rect)
{
    QDialog::setGeometry(rect);
    moved = true;
}

void DAbstractDialog::moveToCenter()
{
    QRect area;
    if (const QWidget *owner = parentWidget()) {
        area = owner->window()->geometry();
    } else if (const QScreen *screen = QGuiApplication::screenAt(QCursor::pos())) {
        area = screen->geometry();
    } else if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        area = primary->geometry();
    }
    moveToCenterByRect(area);
}

void DAbstractDialog::moveToCenterByRect(const QRect &rect)
{
    QRect frame = geometry();
    frame.moveCenter(rect.center());
    QDialog::move(frame.topLeft());
}

void DAbstractDialog::showEvent(QShowEvent *event)
{
    if (!moved) {
        moveToCenter();
    }
    QDialog::showEvent(event);
}

DWIDGET_END_NAMESPACE
