// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ddialog.h"

#include "dsuggestbutton.h"
#include "dwarningbutton.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

DWIDGET_BEGIN_NAMESPACE

namespace {

constexpr int kMinimumWidth = 380;     // px; the dialog is never sized below this when shown
constexpr int kMinimumHeight = 120;    // px
constexpr int kTitleBarHeight = 50;    // px of the title bar strip at the top
constexpr int kSideMargin = 10;        // px left and right of the contents and the buttons
constexpr int kBottomMargin = 10;      // px below the buttons
constexpr int kTextSpacing = 5;        // px between the title and the message
constexpr int kButtonAreaSpacing = 10; // px above the button row once it holds a button
constexpr int kDividerHeight = 30;     // px of the line between two buttons

// Whether text is two characters of a CJK script, which read better spaced
// out on a button.
bool isTwoCjkCharacters(const QString &text)
{
    if (text.size() != 2) {
        return false;
    }
    for (const QChar c : text) {
        switch (c.script()) {
        case QChar::Script_Han:
        case QChar::Script_Katakana:
        case QChar::Script_Hiragana:
        case QChar::Script_Hangul:
            break;
        default:
            return false;
        }
    }
    return true;
}

QAbstractButton *makeButton(DDialog::ButtonType type, QWidget *parent)
{
    switch (type) {
    case DDialog::ButtonWarning:
        return new DWarningButton(parent);
    case DDialog::ButtonRecommend:
        return new DSuggestButton(parent);
    case DDialog::ButtonNormal:
        break;
    }
    return new QPushButton(parent);
}

QLabel *makeTextLabel(const char *name)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    label->hide();
    return label;
}

} // namespace

DDialog::DDialog(QWidget *parent) : DAbstractDialog(parent)
{
    // The title and message labels stand first in the content area, hidden
    // while they have no text; contents follow them.
    titleLabel = makeTextLabel("TitleLabel");
    messageLabel = makeTextLabel("MessageLabel");
    auto *textLayout = new QVBoxLayout;
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(kTextSpacing);
    textLayout->addWidget(titleLabel, 0);
    textLayout->addWidget(messageLabel, 1, Qt::AlignTop);

    contentLayout = new QVBoxLayout;
    contentLayout->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    contentLayout->setSpacing(0);
    contentLayout->addLayout(textLayout);
    auto *contentWidget = new QWidget;
    contentWidget->setLayout(contentLayout);

    // The title bar strip: the window title is drawn in it only by the
    // desktop's own display backend, elsewhere it stays empty.
    auto *titleBar = new QWidget;
    titleBar->setObjectName(QStringLiteral("TitleBar"));
    titleBar->setFixedHeight(kTitleBarHeight);

    auto *mainLayout = new QVBoxLayout;
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->addWidget(titleBar, 0, Qt::AlignTop);
    mainLayout->addWidget(contentWidget);
    spacer = new QSpacerItem(1, 0);
    mainLayout->addSpacerItem(spacer);
    buttonLayout = new QHBoxLayout;
    buttonLayout->setContentsMargins(kSideMargin, 0, kSideMargin, kBottomMargin);
    mainLayout->addLayout(buttonLayout);
    setLayout(mainLayout);

    // Keys reach the dialog itself until the user clicks into a widget.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
}

DDialog::~DDialog() = default;

int DDialog::addButton(const QString &text, bool isDefault, ButtonType type)
{
    QAbstractButton *button = makeButton(type, this);
    button->setText(text);
    button->setObjectName(QStringLiteral("ActionButton"));
    button->setAccessibleName(text);
    button->setAttribute(Qt::WA_NoMousePropagation);

    // Every button has a divider before it; the first one's stays hidden.
    auto *divider = new QFrame;
    divider->setObjectName(QStringLiteral("VLine"));
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(kDividerHeight);
    divider->setVisible(!buttons.isEmpty());
    buttonLayout->addWidget(divider);
    buttonLayout->addWidget(button);
    buttons.append(button);
    if (buttons.size() == 1) {
        spacer->changeSize(1, kButtonAreaSpacing);
    }

    // Connected before anything the caller connects, so the dialog is done
    // with the click's index before the caller's handlers run.
    connect(button, &QAbstractButton::clicked, this, &DDialog::onButtonClicked);
    if (isDefault) {
        setDefaultButton(button);
    }
    if (isTwoCjkCharacters(text)) {
        button->setText(text.left(1) + QChar(QChar::Nbsp) + text.right(1));
    }
    return buttons.size() - 1;
}

QAbstractButton *DDialog::getButton(int index) const
{
    return buttons.at(index);
}

QList<QAbstractButton *> DDialog::getButtons() const
{
    return buttons;
}

int DDialog::buttonCount() const
{
    return buttons.size();
}

void DDialog::setDefaultButton(QAbstractButton *button)
{
    defaultButton = button;
}

void DDialog::addContent(QWidget *widget, Qt::Alignment alignment)
{
    contentLayout->addWidget(widget, 0, alignment);
}

bool DDialog::onButtonClickedClose() const
{
    return closeOnButtonClick;
}

void DDialog::setOnButtonClickedClose(bool close)
{
    closeOnButtonClick = close;
}

int DDialog::exec()
{
    // Counted in a local: a dialog with Qt::WA_DeleteOnClose is gone when
    // the run returns.
    int clickedIndex = -1;
    QMetaObject::Connection tracking;
    if (closeOnButtonClick) {
        tracking = connect(this, &DDialog::buttonClicked, this,
                           [&clickedIndex](int index, const QString &) { clickedIndex = index; });
    }
    const QPointer<DDialog> self(this);
    const int code = DAbstractDialog::exec();
    if (self) {
        disconnect(tracking);
    }
    return clickedIndex >= 0 ? clickedIndex : code;
}

void DDialog::onButtonClicked()
{
    auto *button = qobject_cast<QAbstractButton *>(sender());
    const int index = buttons.indexOf(button);
    if (index < 0) {
        return;
    }
    emit buttonClicked(index, button->text());
    if (closeOnButtonClick) {
        done(index);
    }
}

void DDialog::updateSize()
{
    if (testAttribute(Qt::WA_Resized)) {
        return;
    }
    resize(sizeHint().expandedTo(QSize(kMinimumWidth, kMinimumHeight)));
    setAttribute(Qt::WA_Resized, false);
}

void DDialog::showEvent(QShowEvent *event)
{
    DAbstractDialog::showEvent(event);
    // Whatever size was set before showing gives way to the size hint.
    setAttribute(Qt::WA_Resized, false);
    updateSize();
    emit visibleChanged(isVisible());
}

void DDialog::hideEvent(QHideEvent *event)
{
    DAbstractDialog::hideEvent(event);
    emit visibleChanged(isVisible());
}

void DDialog::closeEvent(QCloseEvent *event)
{
    Q_UNUSED(event)
    emit aboutToClose();
    done(-1);
    emit visibleChanged(isVisible());
    emit closed();
}

void DDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        DAbstractDialog::keyPressEvent(event);
        return;
    }
    if (auto *focused = qobject_cast<QAbstractButton *>(focusWidget())) {
        focused->click();
    } else if (defaultButton) {
        defaultButton->click();
    }
}

void DDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::StyleChange) {
        updateSize();
    }
    DAbstractDialog::changeEvent(event);
}

DWIDGET_END_NAMESPACE
