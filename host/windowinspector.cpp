// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "windowinspector.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>
#include <QTreeView>

namespace {

QJsonArray pair(int first, int second)
{
    return QJsonArray{first, second};
}

// Push buttons of the window that the user can see, in focus-chain order,
// which is the order Tab walks them.
QJsonArray buttonTexts(QWidget *window)
{
    QJsonArray texts;
    for (QWidget *w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        auto *button = qobject_cast<QPushButton *>(w);
        if (button && window->isAncestorOf(button) && button->isVisibleTo(window))
            texts.append(button->text());
    }
    return texts;
}

// The first label with text that the user can see; dialogs keep empty or
// hidden labels of their own for titles and messages.
QString hintText(QWidget *window)
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && label->isVisibleTo(window))
            return label->text();
    }
    return QString();
}

QString cellText(const QAbstractItemModel *model, int row, int column, const QModelIndex &parent,
                 int role = Qt::DisplayRole)
{
    return model->index(row, column, parent).data(role).toString();
}

QJsonArray rows(const QTreeView *view, const QModelIndex &parent)
{
    const QAbstractItemModel *model = view->model();
    QJsonArray result;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex name = model->index(row, 0, parent);
        result.append(QJsonObject{
            {QStringLiteral("name"), cellText(model, row, 0, parent)},
            {QStringLiteral("size"), cellText(model, row, 1, parent)},
            {QStringLiteral("percent"), cellText(model, row, 2, parent)},
            {QStringLiteral("path"), cellText(model, row, 0, parent, Qt::UserRole)},
            {QStringLiteral("expanded"), view->isExpanded(name)},
            {QStringLiteral("children"), rows(view, name)},
        });
    }
    return result;
}

void describeTree(const QTreeView *view, QJsonObject &out)
{
    const QAbstractItemModel *model = view->model();
    QJsonArray headers;
    QJsonArray widths;
    for (int column = 0; model && column < model->columnCount(); ++column) {
        headers.append(model->headerData(column, Qt::Horizontal).toString());
        widths.append(view->columnWidth(column));
    }
    out.insert(QStringLiteral("headers"), headers);
    out.insert(QStringLiteral("columnWidths"), widths);
    out.insert(QStringLiteral("sortingEnabled"), view->isSortingEnabled());
    out.insert(QStringLiteral("editTriggers"), static_cast<int>(view->editTriggers()));
    out.insert(QStringLiteral("horizontalScrollBar"), view->horizontalScrollBar()->isVisible());
    out.insert(QStringLiteral("rows"), model ? rows(view, QModelIndex()) : QJsonArray());
}

void describeText(const QTextEdit *edit, QJsonObject &out)
{
    const QFont font = edit->font();
    out.insert(QStringLiteral("text"), edit->toPlainText());
    out.insert(QStringLiteral("font"), QJsonObject{
                                           {QStringLiteral("family"), font.family()},
                                           {QStringLiteral("pointSize"), font.pointSize()},
                                           {QStringLiteral("styleHint"), static_cast<int>(font.styleHint())},
                                       });
}

QModelIndex findPath(const QAbstractItemModel *model, const QModelIndex &parent, const QString &path)
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex name = model->index(row, 0, parent);
        if (name.data(Qt::UserRole).toString() == path)
            return name;
        const QModelIndex below = findPath(model, name, path);
        if (below.isValid())
            return below;
    }
    return QModelIndex();
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

QJsonObject WindowInspector::describe(QWidget *window)
{
    QJsonObject out{
        {QStringLiteral("class"), QString::fromLatin1(window->metaObject()->className())},
        {QStringLiteral("title"), window->windowTitle()},
        {QStringLiteral("size"), pair(window->width(), window->height())},
        {QStringLiteral("minimumSize"), pair(window->minimumWidth(), window->minimumHeight())},
        {QStringLiteral("buttons"), buttonTexts(window)},
        {QStringLiteral("style"), window->style()->name()},
    };
    if (const auto *edit = window->findChild<QTextEdit *>())
        describeText(edit, out);
    if (const auto *view = window->findChild<QTreeView *>()) {
        out.insert(QStringLiteral("hint"), hintText(window));
        describeTree(view, out);
    }
    return out;
}

bool WindowInspector::reveal(QWidget *window, const QString &path)
{
    auto *view = window->findChild<QTreeView *>();
    if (!view || !view->model())
        return false;
    const QModelIndex target = findPath(view->model(), QModelIndex(), path);
    if (!target.isValid())
        return false;
    view->scrollTo(target);
    // A double-click as a mouse delivers it: press, release, double-click, release.
    QWidget *viewport = view->viewport();
    const QPoint at = view->visualRect(target).center();
    sendMouse(viewport, QEvent::MouseButtonPress, at, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::NoButton);
    sendMouse(viewport, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::NoButton);
    return true;
}
