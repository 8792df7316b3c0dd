#pragma once

#include "dabstractdialog.h"

#include <QList>
#include <QString>

class QAbstractButton;
class QHBoxLayout;
class QVBoxLayout;

DWIDGET_BEGIN_NAMESPACE

// A dialog made of a content area, filled top to bottom with addContent(), and
// a row of buttons below it, added with addButton(). A click on a button emits
// buttonClicked() with the button's index; unless onButtonClickedClose is
// switched off, the click then also closes the dialog, and exec() returns that
// index. A handler of the button's own clicked() signal that already closed
// the dialog (with accept(), say) has the last word: its result stands.
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
    int addButton(const QString &text, bool isDefault = false, ButtonType type = ButtonNormal);
    // The button at index, or nullptr when there is none.
    QAbstractButton *getButton(int index) const;
    int buttonCount() const;

    // Appends widget below the earlier contents; the dialog takes ownership.
    void addContent(QWidget *widget, Qt::Alignment alignment = {});

    bool onButtonClickedClose() const;
    void setOnButtonClickedClose(bool close);

    int exec() override;

signals:
    void buttonClicked(int index, const QString &text);

private:
    void onButtonClicked(QAbstractButton *button);
    void closeForButton(int index, quint64 clickSerial);

    QVBoxLayout *contentLayout;       // owned through the dialog's layout
    QHBoxLayout *buttonLayout;        // owned through the dialog's layout
    QList<QAbstractButton *> buttons; // owned by the dialog, in index order
    bool closeOnButtonClick = true;
    quint64 clickSerial = 0; // counts clicks and exec() runs; a pending close for an older one is stale
};

DWIDGET_END_NAMESPACE
