// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "jsonoutputdialog.h"

#include "externalprogram.h"

#include <DLabel>

#include <QAbstractButton>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QProcess>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>
#include <iostream>
#include <limits>

namespace {

// One unit family of the tool's size texts: a one-letter suffix, the same with
// "B" added, and the multiplier both stand for.
struct SizeUnit
{
    QLatin1String letter;
    QLatin1String withB;
    double multiplier;
};

// Turns a size text of the tool ("1.5K", "12MB", "512") into bytes. Suffixes
// are powers of 1024 and case-sensitive; a text without one counts bytes.
// Unreadable, infinite or not-a-number readings give 0; a product beyond the
// qint64 range saturates to its nearest limit; otherwise the product is
// truncated toward zero.
qint64 parseSizeString(const QString &sizeStr)
{
    static const SizeUnit units[] = {
        {QLatin1String("K"), QLatin1String("KB"), 1024.0},
        {QLatin1String("M"), QLatin1String("MB"), 1024.0 * 1024},
        {QLatin1String("G"), QLatin1String("GB"), 1024.0 * 1024 * 1024},
        {QLatin1String("T"), QLatin1String("TB"), 1024.0 * 1024 * 1024 * 1024},
    };

    QString number = sizeStr.trimmed();
    double multiplier = 1.0;
    for (const SizeUnit &unit : units) {
        const bool twoLetters = number.endsWith(unit.withB, Qt::CaseSensitive);
        if (twoLetters || number.endsWith(unit.letter, Qt::CaseSensitive)) {
            multiplier = unit.multiplier;
            number = number.left(number.length() - (twoLetters ? 2 : 1));
            break;
        }
    }

    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return 0;
    }
    // Exact: the multiplier is a power of two. May overflow to infinity, which
    // saturates below like any other product out of range.
    const double bytes = value * multiplier;
    constexpr double twoToThe63 = 9223372036854775808.0;
    if (bytes >= twoToThe63) {
        return std::numeric_limits<qint64>::max();
    }
    if (bytes < -twoToThe63) {
        return std::numeric_limits<qint64>::min();
    }
    return static_cast<qint64>(bytes); // truncates toward zero
}

// The window's size: room for the columns' 600 + 100 + 100 px without a
// horizontal scroll bar.
constexpr int kWindowWidth = 900;  // px
constexpr int kWindowHeight = 600; // px

// The text after the last "/", or the whole text when it holds none.
QString lastPathComponent(const QString &name)
{
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? name : name.mid(slash + 1);
}

} // namespace

#ifdef QUARN_TREEWINDOW_TEST_ACCESS
// Only in the test build of this file: lets the tests reach the private parser.
qint64 parseSizeStringForTests(const QString &sizeStr)
{
    return parseSizeString(sizeStr);
}
#endif

JsonOutputDialog::JsonOutputDialog(const QString &title, const QByteArray &jsonData, QWidget *parent)
    : Dtk::Widget::DDialog(parent)
{
    setWindowTitle(title);
    setMinimumSize(800, 500);
    resize(kWindowWidth, kWindowHeight);

    model = new QStandardItemModel(this);
    model->setHorizontalHeaderLabels(
        {QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("百分比")});
    model->setSortRole(SortKeyRole);

    treeView = new QTreeView;
    treeView->setModel(model);
    treeView->setColumnWidth(0, 600);
    treeView->setColumnWidth(1, 100);
    treeView->setColumnWidth(2, 100);
    // Keeps the widths above once shown; a stretched last column would take
    // whatever width the window leaves over.
    treeView->header()->setStretchLastSection(false);
    // Sorting is switched on while the model is still empty, so the rows first
    // stand in the report's order; a header click sorts them afterwards.
    treeView->setSortingEnabled(true);
    treeView->setAlternatingRowColors(true);
    treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);

    parseJson(jsonData);
    treeView->expandAll();
    connect(treeView, &QAbstractItemView::doubleClicked, this, &JsonOutputDialog::onItemDoubleClicked);

    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(10, 10, 10, 10);
    auto *hint = new Dtk::Widget::DLabel(QStringLiteral("双击列表的任意节点可在文件管理器查看"));
    layout->addWidget(hint, 0, {});
    layout->addWidget(treeView, 0, {});

    auto *content = new QWidget;
    content->setLayout(layout);
    addContent(content, {});

    const int closeIndex = addButton(tr("关闭"), false, ButtonRecommend);
    QAbstractButton *closeButton = getButton(closeIndex);
    closeButton->setMaximumWidth(120);
    closeButton->setMinimumWidth(80);
    connect(closeButton, &QAbstractButton::clicked, this, &QDialog::accept);
}

JsonOutputDialog::~JsonOutputDialog() = default;

QSize JsonOutputDialog::sizeHint() const
{
    return {kWindowWidth, kWindowHeight};
}

void JsonOutputDialog::parseJson(const QByteArray &jsonData)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(jsonData, &error);
    if (error.error != QJsonParseError::NoError) {
        model->appendRow(new QStandardItem(QStringLiteral("JSON 解析错误: %1").arg(error.errorString())));
        return;
    }
    // A top-level array reads as an empty object: one empty row with "N/A".
    const QJsonObject root = document.object();
    totalSize = parseSizeString(root[QLatin1String("size")].toString());
    addItem(nullptr, root);
}

void JsonOutputDialog::addItem(QStandardItem *parent, const QJsonObject &obj)
{
    const QString fullName = obj[QLatin1String("name")].toString();
    const QString sizeText = obj[QLatin1String("size")].toString();
    const qint64 bytes = parseSizeString(sizeText);

    auto *nameItem = new QStandardItem;
    const QString displayName = parent ? lastPathComponent(fullName) : fullName;
    nameItem->setText(displayName);
    nameItem->setData(fullName, Qt::UserRole);
    nameItem->setData(displayName, SortKeyRole);

    auto *sizeItem = new QStandardItem(sizeText);
    sizeItem->setData(bytes, SortKeyRole);

    auto *percentItem = new QStandardItem;
    if (totalSize > 0) {
        const double percent = static_cast<double>(bytes) / static_cast<double>(totalSize) * 100.0;
        percentItem->setText(QStringLiteral("%1%").arg(percent, 0, 'f', 1, QLatin1Char(' ')));
        percentItem->setData(percent, SortKeyRole);
    } else {
        percentItem->setText(QStringLiteral("N/A"));
        percentItem->setData(0.0, SortKeyRole);
    }

    const QList<QStandardItem *> row{nameItem, sizeItem, percentItem};
    if (parent) {
        parent->appendRow(row);
    } else {
        model->appendRow(row);
    }

    if (!obj.contains(QLatin1String("children"))) {
        return;
    }
    const QJsonArray children = obj[QLatin1String("children")].toArray();
    for (const QJsonValue &child : children) {
        if (child.isObject()) {
            addItem(nameItem, child.toObject());
        }
    }
}

void JsonOutputDialog::onItemDoubleClicked(const QModelIndex &index)
{
    const QString path = index.data(Qt::UserRole).toString();
    if (path.isEmpty()) {
        return;
    }
    const QString program = ExternalProgram::fileManager();
    const QString command = QStringLiteral("%1 --show-item \"%2\"").arg(program, path);
    std::cout << "run  " << command.toStdString() << std::endl;
    // Started directly, without a shell: the path arrives as one argument
    // whatever characters it holds. Blocks until the file manager returns.
    QProcess::execute(program, {QStringLiteral("--show-item"), path});
    accept();
}
