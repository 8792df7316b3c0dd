// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "dabstractdialog.h"

#include <QList>
#include <QPointer>
#include <QString>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QSpacerItem;
class QVBoxLayout;

DWIDGET_BEGIN_NAMESPACE

// A dialog made of a title bar strip, a content area filled top to bottom
// with addContent() and a row of buttons added with addButton().
//
// A click on a button emits buttonClicked() with the button's index and,
// unless onButtonClickedClose is switched off, calls done() with that index
// at once, before any handler connected to the button later. exec() returns
// the index of the button clicked during the run when closing on a click is
// on, else the result. Closing the window calls done(-1). Return clicks the
// focused button, else the button added as the default one; Escape rejects.
// Each time the dialog is shown it is sized to the larger of its size hint
// and 380 x 120 (after its base has centred it), unless the program resizes
// it while it is visible.
class DDialog : public DAbstractDialog
{
    Q_OBJECT
    Q_PROPERTY(bool onButtonClickedClose READ onButtonClickedClose WRITE setOnButtonClickedClose)

public:
    enum ButtonType { ButtonNormal, ButtonWarning, ButtonRecommend };
    Q_ENUM(ButtonType)

    explicit DDialog(QWidget *parent = nullptr);
    ~DDialog() override;

    // Appends a button to the row and returns its index (0 for the first).
    // A text of two CJK characters is shown with a no-break space between
    // them.
    int addButton(const QString &text, bool isDefault = false, ButtonType type = ButtonNormal);
    // The button at index, which must exist.
    QAbstractButton *getButton(int index) const;
    QList<QAbstractButton *> getButtons() const;
    int buttonCount() const;
    void setDefaultButton(QAbstractButton *button);

    // Appends widget below the earlier contents; the dialog takes ownership.
    void addContent(QWidget *widget, Qt::Alignment alignment = {});

    bool onButtonClickedClose() const;
    void setOnButtonClickedClose(bool close);

    int exec() override;

signals:
    void aboutToClose();
    void closed();
    void buttonClicked(int index, const QString &text);
    void visibleChanged(bool visible);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void onButtonClicked();
    void updateSize();

    QLabel *titleLabel;               // hidden while there is no title; owned through the layout
    QLabel *messageLabel;             // hidden while there is no message; owned through the layout
    QVBoxLayout *contentLayout;       // owned through the dialog's layout
    QSpacerItem *spacer;              // above the button row; owned through the dialog's layout
    QHBoxLayout *buttonLayout;        // owned through the dialog's layout
    QList<QAbstractButton *> buttons; // owned by the dialog, in index order
    QPointer<QAbstractButton> defaultButton;
    bool closeOnButtonClick = true;
};

DWIDGET_END_NAMESPACE
