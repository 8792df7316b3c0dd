// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The two windows the probe plug-in opens: small stand-ins for a text and a
// tree result window, with known contents for menu-host to inspect.

#include <QDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include <iostream>

class ProbeTextWindow : public QDialog
{
    Q_OBJECT

public:
    ProbeTextWindow()
    {
        setWindowTitle(QStringLiteral("probe text"));
        setMinimumSize(300, 200);
        resize(500, 320);
        auto *edit = new QTextEdit(this);
        edit->setReadOnly(true);
        edit->setPlainText(QStringLiteral("line 1\n<b>line 2</b>"));
        QFont font(QStringLiteral("DejaVu Sans Mono"), 11);
        font.setStyleHint(QFont::Monospace);
        edit->setFont(font);
        auto *copy = new QPushButton(QStringLiteral("Copy"), this);
        auto *close = new QPushButton(QStringLiteral("Close"), this);
        auto *hidden = new QPushButton(QStringLiteral("Hidden"), this);
        hidden->hide();
        // Tab order differs from creation order on purpose: Close before Copy.
        setTabOrder(edit, close);
        setTabOrder(close, copy);
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(copy);
        buttons->addWidget(close);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(edit);
        layout->addLayout(buttons);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
    }
};

class ProbeTreeWindow : public QDialog
{
    Q_OBJECT

public:
    ProbeTreeWindow()
    {
        setWindowTitle(QStringLiteral("probe tree"));
        resize(420, 240);
        auto *emptyLabel = new QLabel(this); // dialogs carry empty labels of their own
        auto *hint = new QLabel(QStringLiteral("probe hint"), this);
        auto *model = new QStandardItemModel(this);
        model->setHorizontalHeaderLabels(
            {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Percent")});
        QStandardItem *root = addRow(model->invisibleRootItem(), "probe", "10K", "100%", "/probe");
        addRow(root, "a", "4K", "40%", "/probe/a");
        QStandardItem *b = addRow(root, "b", "1K", "10%", "/probe/b");
        addRow(b, "c", "1K", "10%", "/probe/b/c");
        for (int i = 0; i < 60; ++i) {
            const QByteArray name = "f" + QByteArray::number(i);
            addRow(root, name, "0", "0%", "/probe/" + name);
        }
        addRow(root, "last", "5K", "50%", "/probe/last");
        view = new QTreeView(this);
        view->setModel(model);
        view->header()->setSortIndicator(-1, Qt::AscendingOrder); // keep model order
        view->setSortingEnabled(true);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->header()->setStretchLastSection(false);
        view->setColumnWidth(0, 200);
        view->setColumnWidth(1, 80);
        view->setColumnWidth(2, 60);
        view->expandAll();
        view->collapse(model->indexFromItem(b));
        auto *close = new QPushButton(QStringLiteral("Close"), this);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(emptyLabel);
        layout->addWidget(hint);
        layout->addWidget(view);
        layout->addWidget(close);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
        connect(view, &QTreeView::doubleClicked, this, &ProbeTreeWindow::onDoubleClicked);
    }

private:
    static QStandardItem *addRow(QStandardItem *parent, const QByteArray &name, const char *size,
                                 const char *percent, const QByteArray &path)
    {
        auto *nameItem = new QStandardItem(QString::fromUtf8(name));
        nameItem->setData(QString::fromUtf8(path), Qt::UserRole);
        parent->appendRow({nameItem, new QStandardItem(QString::fromUtf8(size)),
                           new QStandardItem(QString::fromUtf8(percent))});
        return nameItem;
    }

    void onDoubleClicked(const QModelIndex &index)
    {
        std::cout << "probe: revealed " << index.data(Qt::UserRole).toString().toStdString() << std::endl;
        accept();
    }

    QTreeView *view;
};
