#include "dlabel.h"

DWIDGET_BEGIN_NAMESPACE

DLabel::DLabel(QWidget *parent, Qt::WindowFlags flags) : QLabel(parent, flags)
{}

DLabel::DLabel(const QString &text, QWidget *parent, Qt::WindowFlags flags) : QLabel(text, parent, flags)
{}

DWIDGET_END_NAMESPACE
