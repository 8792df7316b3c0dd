// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <DDialog>

#include <QByteArray>
#include <QString>

class QJsonObject;
class QModelIndex;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

// The modal window that shows the tool's JSON report as a three-column tree
// (name, size, share of the total), fully expanded and sortable by column.
// Double-clicking a name reveals that item in the file manager and closes the
// window.
class JsonOutputDialog : public Dtk::Widget::DDialog
{
    Q_OBJECT

public:
    // Role of the model's sort key on every cell: the name text on name cells,
    // the byte count (qint64) on size cells and the percentage (double) on
    // percentage cells, so that sizes and shares sort as numbers.
    static constexpr int SortKeyRole = Qt::UserRole + 1;

    JsonOutputDialog(const QString &title, const QByteArray &jsonData, QWidget *parent = nullptr);
    ~JsonOutputDialog() override;

    // The window's own size, 900 x 600. DDialog sizes itself to its size hint
    // each time it is shown, after centring itself at the size it had, so
    // the hint is what keeps the window at this size and centred.
    QSize sizeHint() const override;

private slots:
    void onItemDoubleClicked(const QModelIndex &index);

private:
    void parseJson(const QByteArray &jsonData);
    void addItem(QStandardItem *parent, const QJsonObject &obj);

    QTreeView *treeView;       // owned through the content widget
    QStandardItemModel *model; // owned by the dialog
    qint64 totalSize = 0;      // bytes; the report's top-level size, denominator of every percentage
};
