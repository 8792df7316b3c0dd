// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Any bytes as the tool's report, handed to the tree window's constructor
// under the offscreen platform. Besides running clean under the sanitizers,
// the model must mirror the report: one error row of one cell when the bytes
// are no JSON, otherwise one row of three cells per object node, nested as
// the "children" arrays nest them, each name cell keeping the full "name" and
// showing the part after its last "/" (the whole text on the top-level row).
#include "jsonoutputdialog.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStandardItem>
#include <QStandardItemModel>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

qint64 parseSizeStringForTests(const QString &sizeStr);

namespace {

[[noreturn]] void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "tree report: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

void require(bool condition, const char *what, const QString &detail = {})
{
    if (!condition)
        fail(what, detail);
}

QList<QJsonObject> childObjects(const QJsonObject &node)
{
    QList<QJsonObject> objects;
    const QJsonArray children = node.value(QLatin1String("children")).toArray();
    for (const QJsonValue &child : children) {
        if (child.isObject())
            objects.append(child.toObject());
    }
    return objects;
}

// Checks the row whose cells are name, size and percent against its node,
// then the rows below it against the node's child objects.
void checkRow(QStandardItem *name, QStandardItem *size, QStandardItem *percent, const QJsonObject &node,
              bool nested, qint64 totalSize)
{
    require(name && size && percent, "row without three cells");
    const QString fullName = node.value(QLatin1String("name")).toString();
    require(name->data(Qt::UserRole).toString() == fullName, "stored path differs from name", fullName);
    if (!fullName.isEmpty()) {
        const QString shown = nested ? fullName.mid(fullName.lastIndexOf(QLatin1Char('/')) + 1) : fullName;
        require(name->text() == shown, "name cell shows", name->text());
    }
    require(size->text() == node.value(QLatin1String("size")).toString(), "size cell shows", size->text());
    if (totalSize > 0)
        require(percent->text().endsWith(QLatin1Char('%')), "percent cell shows", percent->text());
    else
        require(percent->text() == QLatin1String("N/A"), "percent cell without total shows", percent->text());
    require(size->rowCount() == 0 && percent->rowCount() == 0, "rows hang below a size or percent cell");

    const QList<QJsonObject> children = childObjects(node);
    require(name->rowCount() == children.size(), "child row count differs from child objects", fullName);
    for (int i = 0; i < children.size(); ++i)
        checkRow(name->child(i, 0), name->child(i, 1), name->child(i, 2), children[i], true, totalSize);
}

void checkModel(const QStandardItemModel &model, const QByteArray &report)
{
    require(model.columnCount() == 3, "model without three columns");
    require(model.rowCount() == 1, "model without exactly one top-level row");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(report, &error);
    if (error.error != QJsonParseError::NoError) {
        const QStandardItem *row = model.item(0, 0);
        require(row && row->text().startsWith(QStringLiteral("JSON 解析错误: ")), "error row missing");
        require(!model.item(0, 1) && !model.item(0, 2) && row->rowCount() == 0, "error row not alone");
        return;
    }
    const QJsonObject root = document.object(); // empty for a top-level array
    const qint64 totalSize = parseSizeStringForTests(root.value(QLatin1String("size")).toString());
    checkRow(model.item(0, 0), model.item(0, 1), model.item(0, 2), root, false, totalSize);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only the program name: the fuzzer's own flags are none of Qt's business.
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    static QApplication application(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray report(reinterpret_cast<const char *>(data), qsizetype(size));
    JsonOutputDialog dialog(QStringLiteral("磁盘使用统计"), report);
    const auto *model = dialog.findChild<QStandardItemModel *>();
    require(model, "no model");
    checkModel(*model, report);
    return 0;
}
