#include "ddialog.h"

#include <QHBoxLayout>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

DWIDGET_BEGIN_NAMESPACE

namespace {

constexpr int kDialogMargin = 10;   // px around the whole dialog
constexpr int kSectionSpacing = 10; // px between the content area and the button row
constexpr int kContentSpacing = 6;  // px between stacked contents
constexpr int kButtonSpacing = 10;  // px between neighbouring buttons

// Warning buttons read red, the recommended one in the highlight colour.
void styleButton(QPushButton *button, DDialog::ButtonType type)
{
    if (type == DDialog::ButtonNormal) {
        return;
    }
    QPalette palette = button->palette();
    const QColor text =
        type == DDialog::ButtonWarning ? QColor(0xd7, 0x1a, 0x1a) : palette.color(QPalette::Highlight);
    palette.setColor(QPalette::ButtonText, text);
    button->setPalette(palette);
    QFont font = button->font();
    font.setBold(type == DDialog::ButtonRecommend);
    button->setFont(font);
}

} // namespace

DDialog::DDialog(QWidget *parent) : DAbstractDialog(parent)
{
    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(kDialogMargin, kDialogMargin, kDialogMargin, kDialogMargin);
    mainLayout->setSpacing(kSectionSpacing);

    contentLayout = new QVBoxLayout;
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(kContentSpacing);
    mainLayout->addLayout(contentLayout, 1);

    // Stretches on both sides keep the buttons together in the middle of the row.
    buttonLayout = new QHBoxLayout;
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(kButtonSpacing);
    buttonLayout->addStretch(1);
    buttonLayout->addStretch(1);
    mainLayout->addLayout(buttonLayout, 0);
}

DDialog::~DDialog() = default;

int DDialog::addButton(const QString &text, bool isDefault, ButtonType type)
{
    auto *button = new QPushButton(text, this);
    button->setDefault(isDefault);
    styleButton(button, type);
    buttonLayout->insertWidget(buttonLayout->count() - 1, button);
    buttons.append(button);
    connect(button, &QAbstractButton::clicked, this, [this, button] { onButtonClicked(button); });
    return buttons.size() - 1;
}

QAbstractButton *DDialog::getButton(int index) const
{
    return index >= 0 && index < buttons.size() ? buttons.at(index) : nullptr;
}

int DDialog::buttonCount() const
{
    return buttons.size();
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
    ++clickSerial; // a close still queued from an earlier run must not end this one
    return DAbstractDialog::exec();
}

void DDialog::onButtonClicked(QAbstractButton *button)
{
    const int index = buttons.indexOf(button);
    const quint64 serial = ++clickSerial;
    emit buttonClicked(index, button->text());
    if (!closeOnButtonClick) {
        return;
    }
    // Closed once the click has been handled completely, so that the button's
    // other receivers run first and a result they set stands.
    QMetaObject::invokeMethod(
        this, [this, index, serial] { closeForButton(index, serial); }, Qt::QueuedConnection);
}

void DDialog::closeForButton(int index, quint64 serial)
{
    if (serial == clickSerial && isVisible()) {
        done(index);
    }
}

DWIDGET_END_NAMESPACE
