// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The scan runner and its two windows against tools that misbehave: huge or
// malformed output, deep JSON, tools that die, close their output early or
// leave a child holding it. Each run must end in the log and window the
// runner's rules give, without a crash, and give its memory back once the
// window has closed.
#include "externalprogram.h"
#include "fakeprogram.h"
#include "logcapture.h"
#include "modalwindowcloser.h"
#include "outputdialog.h"
#include "quarnmenuplugin.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>
#include <QTest>
#include <QTreeView>

#include <malloc.h>
#include <signal.h>
#include <unistd.h>

namespace {

#ifdef QUARN_SANITIZED_BUILD
// Sanitized code is several times slower: the huge outputs shrink tenfold.
constexpr qint64 kBigScale = 10;
#else
constexpr qint64 kBigScale = 1;
#endif

const QString kJsonClass = QStringLiteral("JsonOutputDialog");
const QString kTextClass = QStringLiteral("OutputDialog");
const char kPath[] = "/srv/data";

// Resident memory of this process in bytes, after handing freed heap pages
// back to the system so that only memory still in use counts.
qint64 residentBytes()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// Whether freed memory goes back to the system and shows in the resident
// size. AddressSanitizer keeps freed blocks in quarantine, so there the
// sizes say nothing; its leak check at exit covers the same ground.
#ifdef QUARN_SANITIZED_BUILD
constexpr bool kResidentSizeIsMeaningful = false;
#else
constexpr bool kResidentSizeIsMeaningful = true;
#endif

// Growth of resident memory a run may leave behind: Qt's caches (fonts,
// glyphs, style) fill on first use and the heap keeps some fragmentation.
// A kept copy of any big output would exceed it many times over.
constexpr qint64 kResidentMargin = 24 * 1024 * 1024;

// Ends the child a tool left running, if it recorded one in child.pid.
void killLeftChild(const FakeProgram &tool)
{
    QFile pidFile(tool.filePath(QStringLiteral("child.pid")));
    if (!pidFile.open(QIODevice::ReadOnly))
        return;
    const pid_t child = pidFile.readAll().trimmed().toInt();
    if (child > 0)
        ::kill(child, SIGKILL);
    pidFile.remove();
}

// The rows of a tree window when it is shown: counted on its Show event, so
// that the count is taken before ModalWindowCloser closes the window.
class TreeRowCounter : public QObject
{
public:
    TreeRowCounter() { qApp->installEventFilter(this); }
    ~TreeRowCounter() override { qApp->removeEventFilter(this); }

    qint64 rows = -1; // every row at every depth; -1 when no tree was shown
    int depth = 0;    // levels of the deepest row

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->inherits("JsonOutputDialog")) {
            if (auto *view = watched->findChild<QTreeView *>()) {
                const QAbstractItemModel *model = view->model();
                rows = 0;
                depth = 0;
                count(model, QModelIndex(), 1);
            }
        }
        return false;
    }

private:
    void count(const QAbstractItemModel *model, const QModelIndex &parent, int level)
    {
        const int children = model->rowCount(parent);
        if (children > 0)
            depth = std::max(depth, level);
        rows += children;
        for (int row = 0; row < children; ++row)
            count(model, model->index(row, 0, parent), level + 1);
    }
};

// Everything one run of the runner produced.
struct RunRecord
{
    QStringList log;
    QList<ShownWindow> windows;
    qint64 treeRows = -1;
    int treeDepth = 0;
    qint64 elapsedMs = 0;
};

RunRecord runScan(const QString &program)
{
    ExternalProgram::setForTests(program, QString());
    QuarnGui::QuarnMenuPlugin plugin;
    ModalWindowCloser closer;
    TreeRowCounter counter;
    RunRecord record;
    QElapsedTimer clock;
    clock.start();
    {
        LogCapture capture;
        plugin.showQuarnOutput(kPath);
        record.log = capture.lines();
    }
    record.elapsedMs = clock.elapsed();
    ExternalProgram::setForTests(QString(), QString());
    record.windows = closer.windows();
    record.treeRows = counter.rows;
    record.treeDepth = counter.depth;
    return record;
}

// The lines LogCapture makes of bytes echoed with a line end after them.
QStringList echoedLines(const QString &prefix, const QByteArray &bytes)
{
    QList<QByteArray> parts = (bytes + '\n').split('\n');
    parts.removeLast();
    QStringList lines;
    lines.reserve(parts.size());
    for (const QByteArray &part : parts)
        lines.append(prefix + QString::fromUtf8(part));
    return lines;
}

// The whole log of a run that got as far as the tool's end.
QStringList expectedLog(const QString &program, int exitCode, const QByteArray &out, const QByteArray &err,
                        bool json, const QStringList &fontLines)
{
    QStringList log{QStringLiteral("out: === 磁盘使用统计 ==="), QStringLiteral("out: 目标路径: /srv/data"),
                    QStringLiteral("out: 执行命令: ") + program + QStringLiteral(" -n 13 -j /srv/data"),
                    QStringLiteral("out: 命令已成功启动"),
                    QStringLiteral("out: 命令执行完成，退出码: %1").arg(exitCode)};
    if (!out.isEmpty())
        log << QStringLiteral("out: === 标准输出 ===") << echoedLines(QStringLiteral("out: "), out);
    if (!err.isEmpty())
        log << QStringLiteral("err: === 错误输出 ===") << echoedLines(QStringLiteral("err: "), err);
    if (json) {
        log << QStringLiteral("out: JSON 格式验证通过，使用树状视图显示");
    } else {
        if (!out.isEmpty())
            log << QStringLiteral("out: 标准输出不是有效 JSON，显示原始文本");
        log << fontLines;
    }
    return log;
}

QString expectedText(const QByteArray &out, const QByteArray &err)
{
    if (!QString::fromLocal8Bit(out).isEmpty())
        return QString::fromLocal8Bit(out);
    if (!QString::fromLocal8Bit(err).isEmpty())
        return QString::fromLocal8Bit(err);
    return QStringLiteral("命令未返回任何输出");
}

// A flat report: the target and nodes - 1 files of 1K each below it.
QByteArray flatReport(int nodes)
{
    QByteArray report =
        R"({"name":"/srv/data","size":")" + QByteArray::number(nodes - 1) + R"(K","children":[)";
    for (int i = 1; i < nodes; ++i) {
        if (i > 1)
            report += ',';
        report += R"({"name":"/srv/data/f)" + QByteArray::number(i) + R"(","size":"1K"})";
    }
    return report + "]}";
}

// Report nodes nested in each other until the JSON nesting reaches levels
// (each node adds an object and its children array).
QByteArray nestedReport(int levels)
{
    const int nodes = levels / 2;
    QByteArray report;
    for (int i = 0; i < nodes; ++i) {
        report += R"({"name":"/srv/data/d","size":"1K")";
        report += i + 1 < nodes ? QByteArray(R"(,"children":[)") : QByteArray("}");
    }
    for (int i = 1; i < nodes; ++i)
        report += "]}";
    return report;
}

} // namespace

class HostileRunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void fixedOutput_data();
    void fixedOutput();
    void misbehavingProcess_data();
    void misbehavingProcess();
    void unbreakableTextWraps_data();
    void unbreakableTextWraps();

private:
    void checkRun(const RunRecord &run, const QString &program, int exitCode, const QByteArray &out,
                  const QByteArray &err);

    QStringList fontLines; // what the text window logs while it is built, here
};

void HostileRunnerTest::initTestCase()
{
    // Fills Qt's one-time caches (fonts, style, both windows) so that the
    // resident-memory checks see only what a run keeps.
    FakeProgram text(FakeProgram::Reply{"warm-up"});
    runScan(text.program());
    FakeProgram tree(FakeProgram::Reply{flatReport(3)});
    runScan(tree.program());

    LogCapture capture;
    OutputDialog probe(QStringLiteral("probe"), QString());
    for (const QString &line : capture.lines())
        fontLines << line;
    QCOMPARE(fontLines.size(), 4);
}

void HostileRunnerTest::cleanup()
{
    ExternalProgram::setForTests(QString(), QString());
}

void HostileRunnerTest::checkRun(const RunRecord &run, const QString &program, int exitCode,
                                 const QByteArray &out, const QByteArray &err)
{
    QJsonParseError parseError;
    QJsonDocument::fromJson(out, &parseError);
    const bool json = !out.isEmpty() && parseError.error == QJsonParseError::NoError;

    const QStringList expected = expectedLog(program, exitCode, out, err, json, fontLines);
    QCOMPARE(run.log.size(), expected.size()); // a short message where a full listing would be huge
    QCOMPARE(run.log, expected);
    QCOMPARE(run.windows.size(), 1);
    QCOMPARE(run.windows.first().className, json ? kJsonClass : kTextClass);
    if (!json) {
        QCOMPARE(run.windows.first().text.size(), expectedText(out, err).size());
        QVERIFY(run.windows.first().text == expectedText(out, err));
    }
}

void HostileRunnerTest::fixedOutput_data()
{
    QTest::addColumn<QByteArray>("standardOutput"); // repeated `repeat` times
    QTest::addColumn<qint64>("repeat");
    QTest::addColumn<QByteArray>("standardError");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<qint64>("treeRows"); // -1: the text window is expected
    QTest::addColumn<int>("treeDepth");

    const QByteArray line100 = QByteArray("0123456789").repeated(9) + "abcdefghi\n";
    QTest::newRow("200 MB of text lines")
        << line100 << 2 * 1024 * 1024 / kBigScale << QByteArray() << 0 << qint64(-1) << 0;
    QTest::newRow("one 10 MB line without a line end")
        << QByteArray("a") << 10 * 1024 * 1024 / kBigScale << QByteArray() << 0 << qint64(-1) << 0;
    QTest::newRow("nothing at all") << QByteArray() << qint64(1) << QByteArray() << 0 << qint64(-1) << 0;
    QTest::newRow("only stderr") << QByteArray() << qint64(1)
                                 << QByteArray("quarn: cannot read '/srv/data'\n") << 2 << qint64(-1) << 0;
    QTest::newRow("invalid UTF-8 text") << QByteArray("caf\xe9 \xff\xfe \xc3\x28 \xed\xa0\x80 end\n")
                                        << qint64(1) << QByteArray("\x80\x81\n") << 1 << qint64(-1) << 0;
    QTest::newRow("invalid UTF-8 inside a JSON string")
        << QByteArray("{\"name\":\"/srv/data/\xff\xfe\",\"size\":\"1K\"}") << qint64(1) << QByteArray() << 0
        << qint64(-1) << 0;
    QTest::newRow("report nested 1,000 JSON levels")
        << nestedReport(1000) << qint64(1) << QByteArray() << 0 << qint64(500) << 500;
    QTest::newRow("arrays nested 1,000 levels")
        << QByteArray("[").repeated(1000) + QByteArray("]").repeated(1000) << qint64(1) << QByteArray() << 0
        << qint64(1) << 1;
    QTest::newRow("report nested 10,000 JSON levels")
        << nestedReport(10000) << qint64(1) << QByteArray() << 0 << qint64(-1) << 0;
    QTest::newRow("arrays nested 10,000 levels")
        << QByteArray("[").repeated(10000) + QByteArray("]").repeated(10000) << qint64(1) << QByteArray() << 0
        << qint64(-1) << 0;
    QTest::newRow("valid report of 100,000 nodes")
        << flatReport(100000) << qint64(1) << QByteArray() << 0 << qint64(100000) << 2;
    QTest::newRow("JSON array of numbers")
        << QByteArray("[1, 2, 3]\n") << qint64(1) << QByteArray() << 0 << qint64(1) << 1;
    QTest::newRow("report followed by garbage")
        << QByteArray(R"({"name":"/srv/data","size":"1K"} trailing words)") << qint64(1) << QByteArray() << 0
        << qint64(-1) << 0;
    QTest::newRow("two reports one after the other")
        << QByteArray(R"({"name":"/a","size":"1K"}{"name":"/b","size":"1K"})") << qint64(1) << QByteArray()
        << 0 << qint64(-1) << 0;
}

void HostileRunnerTest::fixedOutput()
{
    QFETCH(QByteArray, standardOutput);
    QFETCH(qint64, repeat);
    QFETCH(QByteArray, standardError);
    QFETCH(int, exitCode);
    QFETCH(qint64, treeRows);
    QFETCH(int, treeDepth);

    const qint64 before = residentBytes();
    {
        const QByteArray out = standardOutput.repeated(repeat);
        FakeProgram tool(FakeProgram::Reply{out, standardError, exitCode});
        const RunRecord run = runScan(tool.program());
        checkRun(run, tool.program(), exitCode, out, standardError);
        QCOMPARE(run.treeRows, treeRows);
        QCOMPARE(run.treeDepth, treeDepth);
        qInfo("%lld bytes of output: %lld ms", qint64(out.size()), run.elapsedMs);
    }
    const qint64 after = residentBytes();
    qInfo("resident memory before %lld KiB, after %lld KiB", before / 1024, after / 1024);
    QVERIFY2(!kResidentSizeIsMeaningful || after - before <= kResidentMargin,
             qPrintable(QStringLiteral("grew by %1 KiB").arg((after - before) / 1024)));
}

void HostileRunnerTest::misbehavingProcess_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("standardOutput"); // what the runner must have taken
    QTest::addColumn<QByteArray>("standardError");
    QTest::addColumn<qint64>("minimumMs"); // the run may not end before the tool did
    QTest::addColumn<qint64>("maximumMs"); // and must not wait for more than the tool

    const QByteArray half = R"({"name":"/srv/data","size":"12K","children":[{"name":"/srv)";
    QTest::newRow("killed by a signal after half a report")
        << QByteArray("printf '%s' '" + half + "'\nkill -KILL $$\n") << half << QByteArray() << qint64(0)
        << qint64(5000);
    QTest::newRow("closes stdout, runs on for a second")
        << QByteArray("printf partial\nexec >&-\nsleep 1\necho 'after the pause' >&2\n")
        << QByteArray("partial") << QByteArray("after the pause\n") << qint64(900) << qint64(5000);
    // The child outlives the tool by far: the run ends with the tool itself.
    QTest::newRow("child keeps stdout open")
        << QByteArray("printf '%s' '{\"name\":\"/srv/data\",\"size\":\"1K\"}'\n"
                      "sh -c 'echo $$ > child.pid; exec sleep 30' &\n"
                      "while [ ! -s child.pid ]; do sleep 0.01; done\n")
        << QByteArray(R"({"name":"/srv/data","size":"1K"})") << QByteArray() << qint64(0) << qint64(10000);
}

void HostileRunnerTest::misbehavingProcess()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, standardOutput);
    QFETCH(QByteArray, standardError);
    QFETCH(qint64, minimumMs);
    QFETCH(qint64, maximumMs);

    FakeProgram tool(script);
    // What QProcess reports as the exit code of this tool, which the log passes on.
    QProcess reference;
    reference.start(tool.program(), {});
    QVERIFY(reference.waitForFinished(maximumMs));
    const int exitCode = reference.exitCode();
    killLeftChild(tool);

    const qint64 before = residentBytes();
    {
        const RunRecord run = runScan(tool.program());
        checkRun(run, tool.program(), exitCode, standardOutput, standardError);
        qInfo("exit code %d, %lld ms", exitCode, run.elapsedMs);
        QVERIFY2(run.elapsedMs >= minimumMs && run.elapsedMs <= maximumMs,
                 qPrintable(QStringLiteral("took %1 ms").arg(run.elapsedMs)));
    }
    const qint64 after = residentBytes();
    QVERIFY2(!kResidentSizeIsMeaningful || after - before <= kResidentMargin,
             qPrintable(QStringLiteral("grew by %1 KiB").arg((after - before) / 1024)));
    killLeftChild(tool);
}

void HostileRunnerTest::unbreakableTextWraps_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QTextOption::WrapMode>("wrapMode");

    const QTextOption::WrapMode byDefault = QTextEdit().wordWrapMode();
    QTest::newRow("lines of words") << QStringLiteral("12K /srv/data\n").repeated(5000) << byDefault;
    QTest::newRow("one long line of words") << QStringLiteral("word ").repeated(50000) << byDefault;
    QTest::newRow("10,000 characters without a blank")
        << QStringLiteral("x ") + QString(10000, QLatin1Char('a')) + QStringLiteral(" y") << byDefault;
    QTest::newRow("10,001 characters without a blank")
        << QStringLiteral("x ") + QString(10001, QLatin1Char('a')) + QStringLiteral(" y")
        << QTextOption::WrapAnywhere;
    // No line may end at a no-break space, although QChar::isSpace counts it.
    QTest::newRow("10,002 characters joined by no-break spaces")
        << QStringLiteral("x ") + QStringLiteral("a\u00A0b\u2007c\u202F").repeated(1667) +
               QStringLiteral(" y")
        << QTextOption::WrapAnywhere;
    // A run counts characters: a surrogate pair is one.
    QTest::newRow("10,000 characters outside the BMP without a blank")
        << QStringLiteral("x ") + QStringLiteral("\U0001F600").repeated(10000) + QStringLiteral(" y")
        << byDefault;
}

// Wrapping a long run without blanks at word boundaries takes Qt time that
// grows with the square of the run; such text wraps anywhere instead.
void HostileRunnerTest::unbreakableTextWraps()
{
    QFETCH(QString, text);
    QFETCH(QTextOption::WrapMode, wrapMode);

    LogCapture quiet;
    OutputDialog dialog(QStringLiteral("t"), text);
    QCOMPARE(dialog.findChild<QTextEdit *>()->wordWrapMode(), wrapMode);
}

QTEST_MAIN(HostileRunnerTest)
#include "tst_hostilerunner.moc"
