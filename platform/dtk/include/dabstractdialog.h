#pragma once

#include "dtkwidget_global.h"

#include <QDialog>

DWIDGET_BEGIN_NAMESPACE

// Common base of the DTK dialogs: a QDialog that opens centred over its parent
// window, or over the screen when it has none.
class DAbstractDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DAbstractDialog(QWidget *parent = nullptr);

    void moveToCenter();

protected:
    void showEvent(QShowEvent *event) override;
};

DWIDGET_END_NAMESPACE
