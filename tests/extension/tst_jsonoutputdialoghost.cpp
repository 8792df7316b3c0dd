// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The tree window end to end: the extension loaded by menu-host, a fake tool
// printing a JSON report, the window described by --dump and a --reveal
// reaching a fake file manager.
#include "fakeprogram.h"
#include "hostrun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kReport =
    R"({"name":"/data","size":"3000","children":[{"name":"/data/a","size":"1000"},)"
    R"({"name":"/data/b","size":"2000","children":[{"name":"/data/b/c","size":"900"}]}]})";

// The dumped rows in pre-order, one line each: name, size, percentage and
// whether the row is expanded.
void appendDumpedRows(const QJsonArray &rows, QStringList &lines)
{
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        lines << QStringLiteral("%1 %2 %3%4")
                     .arg(row[QLatin1String("name")].toString(), row[QLatin1String("size")].toString(),
                          row[QLatin1String("percent")].toString(),
                          row[QLatin1String("expanded")].toBool() ? QString() : QStringLiteral(" collapsed"));
        appendDumpedRows(row[QLatin1String("children")].toArray(), lines);
    }
}

} // namespace

class JsonOutputDialogHostTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dumpDescribesTheTree();
    void revealStartsTheFileManager();

private:
    QProcessEnvironment environment() const;

    const FakeProgram tool{FakeProgram::Reply{kReport}};
    const FakeProgram fileManager{QByteArray(), QStringLiteral("file-manager")};
    QTemporaryDir dir; // for the dump
};

QProcessEnvironment JsonOutputDialogHostTest::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUARN_TEST_QUARN"), tool.program());
    env.insert(QStringLiteral("QUARN_TEST_FILE_MANAGER"), fileManager.program());
    return env;
}

void JsonOutputDialogHostTest::initTestCase()
{
    QVERIFY(dir.isValid());
}

void JsonOutputDialogHostTest::dumpDescribesTheTree()
{
    const QString dumpFile = dir.filePath(QStringLiteral("dump.json"));
    const HostRun run =
        runHost({QStringLiteral("--trigger"), QStringLiteral("磁盘使用统计"), QStringLiteral("--dump"),
                 dumpFile, QStringLiteral(TESTSEAM_PLUGIN), QStringLiteral("/data")},
                environment());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.last(), QStringLiteral("JSON 格式验证通过，使用树状视图显示"));

    QFile file(dumpFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject dump = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(dump[QLatin1String("class")].toString(), QStringLiteral("JsonOutputDialog"));
    QCOMPARE(dump[QLatin1String("columnWidths")].toArray(), QJsonArray({600, 100, 100}));
    QStringList rows;
    appendDumpedRows(dump[QLatin1String("rows")].toArray(), rows);
    QCOMPARE(rows.join(QLatin1Char('\n')), QStringLiteral("/data 3000 100.0%\n"
                                                          "a 1000 33.3%\n"
                                                          "b 2000 66.7%\n"
                                                          "c 900 30.0%"));
}

void JsonOutputDialogHostTest::revealStartsTheFileManager()
{
    const HostRun run =
        runHost({QStringLiteral("--trigger"), QStringLiteral("磁盘使用统计"), QStringLiteral("--reveal"),
                 QStringLiteral("/data/b"), QStringLiteral(TESTSEAM_PLUGIN), QStringLiteral("/data")},
                environment());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.last(), QStringLiteral("run  %1 --show-item \"/data/b\"").arg(fileManager.program()));
    QCOMPARE(fileManager.runs(), (QList<QStringList>{{"--show-item", "/data/b"}}));
}

QTEST_APPLESS_MAIN(JsonOutputDialogHostTest)
#include "tst_jsonoutputdialoghost.moc"
