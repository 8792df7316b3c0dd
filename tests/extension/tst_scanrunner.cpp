// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The scan runner end to end: a fake tool in place of the real one, the whole
// log compared line by line across both streams, and the window it opens.
#include "externalprogram.h"
#include "fakeprogram.h"
#include "logcapture.h"
#include "modalwindowcloser.h"
#include "outputdialog.h"
#include "quarnmenuplugin.h"

#include <QProcess>
#include <QTest>

namespace {

// Stands for the four lines the text window logs about its font, which
// depend on the fonts installed.
const QString kFontLines = QStringLiteral("@FONT");
// Stands for the fake tool's path in expected lines.
const QString kTool = QStringLiteral("@TOOL");

const QString kJsonClass = QStringLiteral("JsonOutputDialog");
const QString kTextClass = QStringLiteral("OutputDialog");

QStringList logHead(const QString &path)
{
    return {QStringLiteral("out: === 磁盘使用统计 ==="), QStringLiteral("out: 目标路径: ") + path,
            QStringLiteral("out: 执行命令: @TOOL -n 13 -j ") + path};
}

} // namespace

class ScanRunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void logAndWindow_data();
    void logAndWindow();
    void toolThatCannotStart_data();
    void toolThatCannotStart();

private:
    QStringList fontLines; // what the text window logs while it is built, here
};

void ScanRunnerTest::initTestCase()
{
    LogCapture capture;
    OutputDialog probe(QStringLiteral("probe"), QString());
    fontLines = capture.lines();
    QCOMPARE(fontLines.size(), 4);
}

void ScanRunnerTest::cleanup()
{
    ExternalProgram::setForTests(QString(), QString());
}

void ScanRunnerTest::logAndWindow_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("standardOutput");
    QTest::addColumn<QByteArray>("standardError");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("expectedLogTail"); // after the "执行命令" line
    QTest::addColumn<QString>("windowClass");
    QTest::addColumn<QString>("windowText"); // text windows only

    const QByteArray report =
        R"({"name":"/srv/data","size":"12K","children":[{"name":"/srv/data/a","size":"4K"}]})";
    const QString reportLine = QStringLiteral("out: ") + QString::fromUtf8(report);

    QTest::newRow("JSON report") << "/srv/data" << report << QByteArray() << 0
                                 << QStringList{"out: 命令已成功启动", "out: 命令执行完成，退出码: 0",
                                                "out: === 标准输出 ===", reportLine,
                                                "out: JSON 格式验证通过，使用树状视图显示"}
                                 << kJsonClass << QString();
    QTest::newRow("JSON report, stderr text, non-zero exit")
        << "/srv/data" << report << QByteArray("partial: permission denied\n") << 3
        << QStringList{"out: 命令已成功启动",
                       "out: 命令执行完成，退出码: 3",
                       "out: === 标准输出 ===",
                       reportLine,
                       "err: === 错误输出 ===",
                       "err: partial: permission denied",
                       "err: ",
                       "out: JSON 格式验证通过，使用树状视图显示"}
        << kJsonClass << QString();
    QTest::newRow("JSON array") << "/srv/data" << QByteArray("[]") << QByteArray() << 0
                                << QStringList{"out: 命令已成功启动", "out: 命令执行完成，退出码: 0",
                                               "out: === 标准输出 ===", "out: []",
                                               "out: JSON 格式验证通过，使用树状视图显示"}
                                << kJsonClass << QString();
    QTest::newRow("plain text") << "/srv/data" << QByteArray("12K\t/srv/data") << QByteArray() << 0
                                << QStringList{"out: 命令已成功启动",
                                               "out: 命令执行完成，退出码: 0",
                                               "out: === 标准输出 ===",
                                               "out: 12K\t/srv/data",
                                               "out: 标准输出不是有效 JSON，显示原始文本",
                                               kFontLines}
                                << kTextClass << "12K\t/srv/data";
    QTest::newRow("plain text ending in a newline, stderr text")
        << "/srv/data" << QByteArray("总计 12K\n") << QByteArray("warning") << 0
        << QStringList{"out: 命令已成功启动",
                       "out: 命令执行完成，退出码: 0",
                       "out: === 标准输出 ===",
                       "out: 总计 12K",
                       "out: ",
                       "err: === 错误输出 ===",
                       "err: warning",
                       "out: 标准输出不是有效 JSON，显示原始文本",
                       kFontLines}
        << kTextClass << "总计 12K\n";
    QTest::newRow("broken JSON") << "/srv/data" << QByteArray(R"({"name": "/srv/data",)") << QByteArray() << 0
                                 << QStringList{"out: 命令已成功启动",
                                                "out: 命令执行完成，退出码: 0",
                                                "out: === 标准输出 ===",
                                                R"(out: {"name": "/srv/data",)",
                                                "out: 标准输出不是有效 JSON，显示原始文本",
                                                kFontLines}
                                 << kTextClass << R"({"name": "/srv/data",)";
    QTest::newRow("stderr only") << "/srv/data" << QByteArray() << QByteArray("cannot read /srv/data") << 1
                                 << QStringList{"out: 命令已成功启动", "out: 命令执行完成，退出码: 1",
                                                "err: === 错误输出 ===", "err: cannot read /srv/data",
                                                kFontLines}
                                 << kTextClass << "cannot read /srv/data";
    QTest::newRow("no output at all")
        << "/srv/data" << QByteArray() << QByteArray() << 0
        << QStringList{"out: 命令已成功启动", "out: 命令执行完成，退出码: 0", kFontLines} << kTextClass
        << "命令未返回任何输出";
    QTest::newRow("path with blanks")
        << "/home/user/My Music/live 2020" << QByteArray("ok") << QByteArray() << 0
        << QStringList{"out: 命令已成功启动",
                       "out: 命令执行完成，退出码: 0",
                       "out: === 标准输出 ===",
                       "out: ok",
                       "out: 标准输出不是有效 JSON，显示原始文本",
                       kFontLines}
        << kTextClass << "ok";
}

void ScanRunnerTest::logAndWindow()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, standardOutput);
    QFETCH(QByteArray, standardError);
    QFETCH(int, exitCode);
    QFETCH(QStringList, expectedLogTail);
    QFETCH(QString, windowClass);
    QFETCH(QString, windowText);

    FakeProgram tool(FakeProgram::Reply{standardOutput, standardError, exitCode});
    ExternalProgram::setForTests(tool.program(), QString());

    QuarnGui::QuarnMenuPlugin plugin;
    ModalWindowCloser closer;
    QStringList log;
    {
        LogCapture capture;
        plugin.showQuarnOutput(path.toStdString());
        log = capture.lines();
    }

    QStringList expected = logHead(path) + expectedLogTail;
    const int fontAt = expected.indexOf(kFontLines);
    if (fontAt >= 0) {
        expected.removeAt(fontAt);
        for (int i = 0; i < fontLines.size(); ++i)
            expected.insert(fontAt + i, QStringLiteral("out: ") + fontLines.at(i).mid(5));
    }
    expected.replaceInStrings(kTool, tool.program());
    QCOMPARE(log, expected);

    QCOMPARE(tool.runs(), (QList<QStringList>{{"-n", "13", "-j", path}}));

    QCOMPARE(closer.windows().size(), 1);
    const ShownWindow &window = closer.windows().first();
    QCOMPARE(window.className, windowClass);
    QCOMPARE(window.title, QStringLiteral("磁盘使用统计"));
    if (windowClass == kTextClass)
        QCOMPARE(window.text, windowText);
}

void ScanRunnerTest::toolThatCannotStart_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("missing") << false;
    QTest::newRow("not executable") << true;
}

void ScanRunnerTest::toolThatCannotStart()
{
    QFETCH(bool, fileExists);

    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("quarn"));
    if (fileExists) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho should-not-run\n");
    }
    ExternalProgram::setForTests(program, QString());

    // Qt's own wording for this failure, which the log passes on.
    QProcess reference;
    reference.start(program, {});
    QVERIFY(!reference.waitForStarted(5000));
    const QString reason = reference.errorString();

    QuarnGui::QuarnMenuPlugin plugin;
    ModalWindowCloser closer;
    QStringList log;
    {
        LogCapture capture;
        plugin.showQuarnOutput("/srv/data");
        log = capture.lines();
    }
    QStringList expected = logHead(QStringLiteral("/srv/data"));
    expected.replaceInStrings(kTool, program);
    expected << QStringLiteral("err: 错误: 无法启动 quarn 命令")
             << QStringLiteral("err: 错误信息: ") + reason;
    QCOMPARE(log, expected);

    QCoreApplication::processEvents();
    QVERIFY(closer.windows().isEmpty());
}

QTEST_MAIN(ScanRunnerTest)
#include "tst_scanrunner.moc"
