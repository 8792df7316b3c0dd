// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QJsonObject>
#include <QString>

class QWidget;

// Looks at a result window generically, through Qt only: menu-host knows
// nothing of the plug-in's classes.
namespace WindowInspector {

// class, title, size, minimumSize and buttons (in tab order); plus text and
// font when the window holds a QTextEdit, and hint, headers, columnWidths,
// sortingEnabled, editTriggers and rows when it holds a QTreeView.
QJsonObject describe(QWidget *window);

// Double-clicks, with real mouse events on the viewport, the column-0 cell of
// the window's tree whose Qt::UserRole text is `path`, after scrolling it
// into view. Returns false when there is no tree or no such cell.
bool reveal(QWidget *window, const QString &path);

} // namespace WindowInspector
