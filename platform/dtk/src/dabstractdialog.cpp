#include "dabstractdialog.h"

#include <QGuiApplication>
#include <QScreen>

DWIDGET_BEGIN_NAMESPACE

DAbstractDialog::DAbstractDialog(QWidget *parent) : QDialog(parent)
{}

void DAbstractDialog::moveToCenter()
{
    QRect area;
    if (const QWidget *owner = parentWidget()) {
        area = owner->window()->frameGeometry();
    } else if (const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void DAbstractDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    moveToCenter();
}

DWIDGET_END_NAMESPACE
