// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The quarn program run on trees built at test time, compared with du.

#include "testpaths.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <limits>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments,
               const std::function<void()> &childSetup = {})
{
    QProcess process;
    if (childSetup)
        process.setChildProcessModifier(childSetup);
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Run quarn(const QStringList &arguments, const std::function<void()> &childSetup = {})
{
    return runProgram(QStringLiteral(QUARN_PROGRAM), arguments, childSetup);
}

// Runs as user and group nobody, as a root-run CI must to meet permissions.
Run runUnprivileged(const QString &program, const QStringList &arguments)
{
    if (::geteuid() != 0)
        return runProgram(program, arguments);
    return runProgram("setpriv",
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments);
}

qint64 duBytes(const QString &path, bool apparent, bool unprivileged = false)
{
    QStringList arguments{"-s", "-B1"};
    if (apparent)
        arguments << "--apparent-size";
    arguments << path;
    const Run du = unprivileged ? runUnprivileged("du", arguments) : runProgram("du", arguments);
    return du.out.split('\t').value(0).toLongLong();
}

qint64 sizeOf(const QJsonObject &node)
{
    return node.value("size").toString().toLongLong();
}

QJsonObject parseReport(const Run &run)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning() << "not a JSON report:" << error.errorString() << run.out.left(300);
    return document.object();
}

void forEachNode(const QJsonObject &node, const std::function<void(const QJsonObject &)> &visit)
{
    visit(node);
    for (const QJsonValue &child : node.value("children").toArray())
        forEachNode(child.toObject(), visit);
}

// The report as "name(child,child(...))" with last components, to compare
// selections and order at a glance.
QString outline(const QJsonObject &node, bool top = true)
{
    QString name = node.value("name").toString();
    if (!top)
        name = name.mid(name.lastIndexOf('/') + 1);
    const QJsonArray children = node.value("children").toArray();
    if (children.isEmpty())
        return name;
    QStringList parts;
    for (const QJsonValue &child : children)
        parts << outline(child.toObject(), false);
    return name + "(" + parts.join(',') + ")";
}

// Builds a tree from lines of a small layout language, relative to root:
//   d PATH            folder
//   f PATH BYTES      file of that many bytes
//   s PATH BYTES      sparse file: that length, one byte written at the start
//   h PATH EXISTING   hard link
//   l PATH TARGET     symbolic link
bool buildTree(const QString &root, const QString &layout)
{
    for (const QString &line : layout.split(';', Qt::SkipEmptyParts)) {
        const QStringList word = line.trimmed().split(' ');
        const QByteArray path = (root + "/" + word.value(1)).toLocal8Bit();
        QDir().mkpath(QFileInfo(QString::fromLocal8Bit(path)).path());
        const QString kind = word.value(0);
        if (kind == "d") {
            if (!QDir().mkpath(QString::fromLocal8Bit(path)))
                return false;
        } else if (kind == "f" || kind == "s") {
            QFile file(QString::fromLocal8Bit(path));
            if (!file.open(QIODevice::WriteOnly))
                return false;
            const qint64 bytes = word.value(2).toLongLong();
            if (kind == "f")
                file.write(QByteArray(int(bytes), 'x'));
            else if (!file.write("x", 1) || !file.resize(bytes))
                return false;
        } else if (kind == "h") {
            if (::link((root + "/" + word.value(2)).toLocal8Bit().constData(), path.constData()) != 0)
                return false;
        } else if (kind == "l") {
            if (::symlink(word.value(2).toLocal8Bit().constData(), path.constData()) != 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// A chain of depth folders named name below parent, made with descriptors
// since its path may be longer than the system allows; a file of fileBytes
// at the bottom.
bool buildChain(const QString &parent, int depth, int fileBytes, const QByteArray &name = "d")
{
    int fd = ::open(parent.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; fd >= 0 && level < depth; ++level) {
        int next = ::mkdirat(fd, name, 0755) == 0 ? ::openat(fd, name, O_RDONLY | O_DIRECTORY) : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    const QByteArray data(fileBytes, 'x');
    bool written = file >= 0 && ::write(file, data.constData(), size_t(data.size())) == data.size();
    ::close(file);
    ::close(fd);
    return written;
}

// A temporary folder that also goes when it holds paths too long for
// QDir::removeRecursively.
class Scratch
{
public:
    Scratch() { m_dir.setAutoRemove(false); }
    ~Scratch() { runProgram("rm", {"-rf", "--", m_dir.path()}); }
    QString path() const { return m_dir.path(); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};

// Mounts for one test, unmounted (before the scratch folder goes) at the end.
class Mounts
{
public:
    ~Mounts()
    {
        for (auto it = m_points.rbegin(); it != m_points.rend(); ++it)
            runProgram("umount", {"-l", *it});
    }
    bool mount(const QStringList &arguments)
    {
        if (runProgram("mount", arguments).exitCode != 0)
            return false;
        m_points << arguments.last();
        return true;
    }

private:
    QStringList m_points;
};

} // namespace

class ScannerCliTest : public QObject
{
    Q_OBJECT

private slots:
    void totalsMatchDu_data();
    void totalsMatchDu();

    void selection_data();
    void selection();
    void targetNames_data();
    void targetNames();
    void rootTarget();
    void unusualNames_data();
    void unusualNames();
    void textReport();

    void mountPoints_data();
    void mountPoints();
    void unreadableFolder();
    void refusedRuns_data();
    void refusedRuns();

    void deepTree();
    void fewDescriptors_data();
    void fewDescriptors();
    void vanishedTarget();
    void sumsSaturate();
    void writeFailures_data();
    void writeFailures();
};

void ScannerCliTest::totalsMatchDu_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("target");     // relative to the tree; empty: the tree itself
    QTest::addColumn<bool>("eachDirectory"); // compare every reported folder too (not where hard links cross)

    QTest::newRow("files") << "f a 0; f b 1; f c 4095; f d 4097; f sub/e 100000; f sub/deeper/f 7000"
                           << "" << true;
    QTest::newRow("sparse files") << "s big 50000000; s sub/huge 3000000000; f sub/small 10"
                                  << "" << true;
    QTest::newRow("hard links in one folder") << "f a 20000; h b a; h c a; f d 10"
                                              << "" << true;
    QTest::newRow("hard links across folders")
        << "f one/a 30000; h two/b one/a; h two/deep/c one/a; f two/d 5000"
        << "" << false;
    QTest::newRow("symbolic links")
        << "f real 9000; d dir; f dir/inside 80000; l tofile real; l todir dir; l dangling nowhere; "
           "l loop loop; l ping pong; l pong ping; l up .."
        << "" << true;
    QTest::newRow("empty folders") << "d e1; d e2/e3/e4; d e5"
                                   << "" << true;
    QTest::newRow("file target") << "f sub/file 12345"
                                 << "sub/file" << true;
    QTest::newRow("hard-linked file target") << "f file 12345; h link file"
                                             << "link" << true;
    QTest::newRow("symbolic link target is not followed") << "d dir; f dir/x 50000; l link dir"
                                                          << "link" << true;
}

void ScannerCliTest::totalsMatchDu()
{
    QFETCH(QString, layout);
    QFETCH(QString, target);
    QFETCH(bool, eachDirectory);
    Scratch scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(buildTree(scratch.path(), layout));
    const QString path = target.isEmpty() ? scratch.path() : scratch.path() + "/" + target;

    for (bool apparent : {false, true}) {
        QStringList arguments{"-j", "-b", "-n", "1000", path};
        if (apparent)
            arguments.prepend("--apparent-size");
        const Run run = quarn(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        const QJsonObject report = parseReport(run);
        QCOMPARE(report.value("name").toString(), path);
        QCOMPARE(sizeOf(report), duBytes(path, apparent));
        if (!eachDirectory)
            continue;
        forEachNode(report, [&](const QJsonObject &node) {
            const QString name = node.value("name").toString();
            struct stat info;
            QVERIFY2(::lstat(name.toLocal8Bit().constData(), &info) == 0, qPrintable(name));
            // A file with several links counts only where it is met first.
            if (S_ISDIR(info.st_mode) || info.st_nlink == 1)
                QCOMPARE(sizeOf(node), duBytes(name, apparent));
        });
    }
}

void ScannerCliTest::selection_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("expected");
    // With apparent sizes (folders 4096 each): root 160480, d1 78192, big 50000,
    // x 30000, y 30000, then d2, tie (depth 1) and x2 (depth 2) at 14096, z 10000.
    QTest::newRow("target only") << 1 << "T";
    QTest::newRow("largest child") << 2 << "T(d1)";
    QTest::newRow("file among folders") << 3 << "T(d1,big)";
    QTest::newRow("equal sizes by name") << 4 << "T(d1(x),big)";
    QTest::newRow("both equal files") << 5 << "T(d1(x,y),big)";
    QTest::newRow("folder wins a tie by name") << 6 << "T(d1(x,y),big,d2)";
    QTest::newRow("shallower wins a tie") << 7 << "T(d1(x,y),big,d2,tie)";
    QTest::newRow("deeper tie comes next") << 8 << "T(d1(x,y,x2),big,d2,tie)";
    QTest::newRow("everything") << 9 << "T(d1(x,y,x2),big,d2(z),tie)";
    QTest::newRow("more than there is") << 50 << "T(d1(x,y,x2),big,d2(z),tie)";
}

void ScannerCliTest::selection()
{
    QFETCH(int, top);
    QFETCH(QString, expected);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f T/big 50000; f T/d1/y 30000; f T/d1/x 30000; f T/d1/x2 14096; "
                                      "f T/d2/z 10000; f T/tie 14096"));
    const QString root = scratch.path() + "/T";
    for (const char *threads : {"1", "2", "8"}) {
        const Run run =
            quarn({"--apparent-size", "-j", "-b", "-t", threads, "-n", QString::number(top), root});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject report = parseReport(run);
        QCOMPARE(sizeOf(report), 160480);
        QCOMPARE(outline(report).replace(root, "T"), expected);
    }
}

void ScannerCliTest::targetNames_data()
{
    QTest::addColumn<QString>("given"); // "@" stands for the scratch folder
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("child");
    QTest::newRow("plain") << "@/t"
                           << "@/t"
                           << "@/t/f";
    QTest::newRow("trailing slashes") << "@/t///"
                                      << "@/t"
                                      << "@/t/f";
    QTest::newRow("doubled slash inside is kept") << "@//t"
                                                  << "@//t"
                                                  << "@//t/f";
    QTest::newRow("relative") << "t"
                              << "t"
                              << "t/f";
    QTest::newRow("dot") << "."
                         << "."
                         << "./t";
    QTest::newRow("dot slash") << "./"
                               << "."
                               << "./t";
}

void ScannerCliTest::targetNames()
{
    QFETCH(QString, given);
    QFETCH(QString, name);
    QFETCH(QString, child);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f t/f 100000"));
    QProcess process;
    process.setWorkingDirectory(scratch.path());
    process.start(QUARN_PROGRAM, {"-j", "-n", "2", given.replace("@", scratch.path())});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
    const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QCOMPARE(report.value("name").toString(), name.replace("@", scratch.path()));
    const QJsonArray children = report.value("children").toArray();
    QCOMPARE(children.size(), 1);
    QCOMPARE(children.first().toObject().value("name").toString(), child.replace("@", scratch.path()));
}

void ScannerCliTest::rootTarget()
{
    // Other tests may change files under / meanwhile: only names are checked.
    const Run run = quarn({"-x", "-j", "-n", "6", "/"});
    QVERIFY(run.exitCode == 0 || run.exitCode == 1);
    const QJsonObject report = parseReport(run);
    QCOMPARE(report.value("name").toString(), QString("/"));
    int nodes = 0;
    forEachNode(report, [&](const QJsonObject &node) {
        const QString name = node.value("name").toString();
        ++nodes;
        QVERIFY2(name.startsWith('/') && !name.contains("//"), qPrintable(name));
    });
    QCOMPARE(nodes, 6);
}

void ScannerCliTest::unusualNames_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("shown"); // in the JSON report
    QTest::addColumn<QString>("text");  // in the text report
    QTest::addColumn<bool>("noted");    // a note on stderr about bytes that are not UTF-8
    const QString bad(QChar(0xFFFD));
    QTest::newRow("blanks") << QByteArray(" lead and trail ") << " lead and trail "
                            << " lead and trail " << false;
    QTest::newRow("quotes") << QByteArray("say \"no\" 'yes'") << "say \"no\" 'yes'"
                            << "say \"no\" 'yes'" << false;
    QTest::newRow("backslashes") << QByteArray("back\\slash\\\\") << "back\\slash\\\\"
                                 << "back\\slash\\\\" << false;
    QTest::newRow("newline and tab") << QByteArray("two\nlines\tx") << "two\nlines\tx"
                                     << "two?lines?x" << false;
    QTest::newRow("escape character") << QByteArray("\x1b[31mred") << "\x1b[31mred"
                                      << "?[31mred" << false;
    QTest::newRow("C1 controls: next line, CSI")
        << QByteArray("a\xC2\x85"
                      "b\xC2\x9B"
                      "31mred")
        << QString::fromUtf8("a\u0085b\u009B31mred") << "a?b?31mred" << false;
    QTest::newRow("bidirectional override and isolate")
        << QByteArray("\xE2\x80\xAEtxt.exe\xE2\x81\xA6x\xE2\x81\xA9")
        << QString::fromUtf8("\u202Etxt.exe\u2066x\u2069") << "?txt.exe?x?" << false;
    QTest::newRow("CJK") << QByteArray("磁盘使用") << QString::fromUtf8("磁盘使用")
                         << QString::fromUtf8("磁盘使用") << false;
    QTest::newRow("latin-1 byte") << QByteArray("caf\xE9 menu") << "caf" + bad + " menu"
                                  << "caf" + bad + " menu" << true;
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << "a" + bad + "z"
                                            << "a" + bad + "z" << true;
}

void ScannerCliTest::unusualNames()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, shown);
    QFETCH(QString, text);
    QFETCH(bool, noted);
    Scratch scratch;
    const QByteArray folder = scratch.path().toLocal8Bit() + "/" + raw;
    QVERIFY(::mkdir(folder.constData(), 0755) == 0);
    QVERIFY(buildTree(scratch.path(), "f plain 10"));
    // Name the inner file through the raw bytes: QFile would recode them.
    int fd = ::open((folder + "/inner").constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    QVERIFY(::write(fd, QByteArray(50000, 'x').constData(), 50000) == 50000);
    ::close(fd);

    const Run run = quarn({"-j", "-n", "3", scratch.path()});
    QCOMPARE(run.exitCode, 0);
    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(run.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject child = report.value("children").toArray().first().toObject();
    QCOMPARE(child.value("name").toString(), scratch.path() + "/" + shown);
    QCOMPARE(child.value("children").toArray().first().toObject().value("name").toString(),
             scratch.path() + "/" + shown + "/inner");
    // One note per reported name that holds such bytes: the folder and its file.
    QCOMPARE(run.err.count("not UTF-8"), noted ? 2 : 0);

    // The text report: the folder on the second line, indented by two.
    const Run textRun = quarn({"-n", "3", scratch.path()});
    QCOMPARE(textRun.exitCode, 0);
    const QStringList lines = QString::fromUtf8(textRun.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[1].endsWith("   " + text), qPrintable(lines[1]));
}

void ScannerCliTest::textReport()
{
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f a/big 300000; f a/\x1b[2Jclear 100000; f small 1000"));
    const Run run = quarn({"-n", "4", scratch.path()});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    // Sizes right-aligned in one column, then share, bar and indented name.
    static const QRegularExpression line("^( *)(\\S+) +([0-9.]+)% ([█▏▎▍▌▋▊▉ ]{20}) ( *)(.+)$");
    const QStringList names{scratch.path(), "a", "big", "?[2Jclear"};
    const QList<int> indents{0, 2, 4, 4};
    int width = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = line.match(lines[i]);
        QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
        const int sizeEnd = int(match.capturedEnd(2));
        QVERIFY(width == -1 || sizeEnd == width);
        width = sizeEnd;
        QCOMPARE(match.captured(5).size(), indents[i]);
        QCOMPARE(match.captured(6), names[i]);
    }
    QVERIFY(lines[0].contains("100.0%"));
    QVERIFY(!run.out.contains('\x1b'));
}

void ScannerCliTest::mountPoints_data()
{
    QTest::addColumn<QStringList>(
        "mounts"); // mount's arguments, one mount each, in order; "@": the scratch folder
    QTest::addColumn<bool>("oneFileSystem");
    QTest::addColumn<QString>("expected"); // report outline, T for the scratch folder
    const QString tmpfs = "-t tmpfs -o size=4m tmpfs @/m";
    QTest::newRow("kernel file system counts as empty")
        << QStringList{"-t proc proc @/m"} << false << "T(data(x),m)";
    QTest::newRow("other file system is entered") << QStringList{tmpfs} << false << "T(m(inner),data(x))";
    QTest::newRow("-x leaves other file systems out") << QStringList{tmpfs} << true << "T(data(x))";
    QTest::newRow("-x leaves out a file mounted from another file system")
        << QStringList{tmpfs, "--bind @/m/inner @/data/x"} << true << "T(data)";
    QTest::newRow("folder mounted inside itself counts once")
        << QStringList{"--bind @ @/m"} << false << "T(data(x),m)";
}

void ScannerCliTest::mountPoints()
{
    QFETCH(QStringList, mounts);
    QFETCH(bool, oneFileSystem);
    QFETCH(QString, expected);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "d m; f data/x 100000"));
    Mounts mountedHere;
    for (const QString &mount : mounts) {
        if (!mountedHere.mount(QString(mount).replace("@", scratch.path()).split(' ')))
            QSKIP("cannot mount here (needs root)");
        if (mount.contains("tmpfs"))
            QVERIFY(buildTree(scratch.path(), "f m/inner 300000"));
    }

    QStringList arguments{"-j", "-b", "-n", "6", scratch.path()};
    if (oneFileSystem)
        arguments.prepend("-x");
    const Run run = quarn(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    const QJsonObject report = parseReport(run);
    QCOMPARE(outline(report).replace(scratch.path(), "T"), expected);
    const Run du = runProgram("du", QStringList{oneFileSystem ? "-sxB1" : "-sB1", scratch.path()});
    QCOMPARE(sizeOf(report), du.out.split('\t').value(0).toLongLong());
}

void ScannerCliTest::unreadableFolder()
{
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f open/a 70000; f locked/secret 900000; f locked/more/x 5; f b 3000"));
    const QString locked = scratch.path() + "/locked";
    QVERIFY(::chmod(scratch.path().toLocal8Bit().constData(), 0755) == 0);
    QVERIFY(::chmod(locked.toLocal8Bit().constData(), 0) == 0);

    // The build tree may lie where nobody cannot reach (say, under /root).
    Scratch programFolder;
    const QString program = programFolder.path() + "/quarn";
    QVERIFY(QFile::copy(QUARN_PROGRAM, program));
    QVERIFY(::chmod(programFolder.path().toLocal8Bit().constData(), 0755) == 0);

    const Run run = runUnprivileged(program, {"-j", "-b", "-n", "20", scratch.path()});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QString::fromLocal8Bit(run.err), "quarn: cannot read '" + locked + "': Permission denied\n");
    const QJsonObject report = parseReport(run);
    QCOMPARE(sizeOf(report), duBytes(scratch.path(), false, true));
    QStringList names;
    forEachNode(report, [&](const QJsonObject &node) {
        names << node.value("name").toString().mid(scratch.path().size());
        if (node.value("name").toString() == locked)
            QCOMPARE(node.value("error").toString(), QString("Permission denied"));
    });
    names.sort();
    QCOMPARE(names, QStringList({"", "/b", "/locked", "/open", "/open/a"}));

    // The same folder as the target: nothing to report at all.
    const Run target = runUnprivileged(program, {"-j", locked});
    QCOMPARE(target.exitCode, 2);
    QCOMPARE(target.out, QByteArray());
    QCOMPARE(QString::fromLocal8Bit(target.err), "quarn: cannot read '" + locked + "': Permission denied\n");
}

void ScannerCliTest::refusedRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // exact first stderr line; "*" for any
    QTest::newRow("missing target")
        << QStringList{"-j", "/nonexistent/quarn-test"}
        << "quarn: cannot read '/nonexistent/quarn-test': No such file or directory";
    QTest::newRow("missing, file as folder")
        << QStringList{"/etc/passwd/x"} << "quarn: cannot read '/etc/passwd/x': Not a directory";
    QTest::newRow("missing target whose name forges a line")
        << QStringList{"-j", QString::fromUtf8(
                                 "/nonexistent/x\nquarn: cannot read 'y': Permission denied\n\u202Ez")}
        << "quarn: cannot read '/nonexistent/x\\x0aquarn: cannot read 'y': Permission denied\\x0a"
           "\\xe2\\x80\\xaez': No such file or directory";
    QTest::newRow("-n 0") << QStringList{"-n", "0", "."} << "*";
    QTest::newRow("-n without value") << QStringList{"-n"} << "*";
    QTest::newRow("-t not a number") << QStringList{"-t", "many"} << "*";
    QTest::newRow("unknown option") << QStringList{"-q"} << "*";
    QTest::newRow("two paths") << QStringList{".", ".."} << "*";
}

void ScannerCliTest::refusedRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = quarn(arguments);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY(!run.err.isEmpty());
    if (message != "*")
        QCOMPARE(QString::fromLocal8Bit(run.err), message + "\n");
}

void ScannerCliTest::deepTree()
{
    Scratch scratch;
    QVERIFY(buildChain(scratch.path(), 3000, 5000));
    const Run text = quarn({"-b", "-n", "3002", scratch.path()});
    QCOMPARE(text.exitCode, 0);
    QCOMPARE(text.out.count('\n'), 3002);
    QVERIFY(text.out.trimmed().endsWith("bottom"));
    const Run json = quarn({"-j", "-b", "-n", "3", scratch.path()});
    QCOMPARE(json.exitCode, 0);
    QCOMPARE(sizeOf(parseReport(json)), duBytes(scratch.path(), false));
}

void ScannerCliTest::fewDescriptors_data()
{
    QTest::addColumn<int>("limit"); // RLIMIT_NOFILE of the run
    QTest::addColumn<int>("wide");  // folders w0.. below the target
    QTest::addColumn<int>("each");  // subfolders in each of them, each holding a chain
    QTest::addColumn<int>("depth"); // levels of each chain
    QTest::addColumn<int>("nameLength");
    // Many folders must be reopened from the target, along paths longer than
    // the system accepts in one call (names of 200 bytes, 24 levels).
    QTest::newRow("64, paths beyond the system's limit") << 64 << 24 << 1 << 24 << 200;
    // More folders ready at once than descriptors free, with every thread.
    QTest::newRow("16, many folders") << 16 << 300 << 5 << 4 << 1;
    QTest::newRow("10, many folders") << 10 << 300 << 5 << 4 << 1;
}

void ScannerCliTest::fewDescriptors()
{
    QFETCH(int, limit);
    QFETCH(int, wide);
    QFETCH(int, each);
    QFETCH(int, depth);
    QFETCH(int, nameLength);
    Scratch scratch;
    for (int i = 0; i < wide; ++i) {
        const QString folder = scratch.path() + "/w" + QString::number(i);
        for (int j = 0; j < each; ++j) {
            const QString sub = folder + "/s" + QString::number(j);
            QVERIFY(QDir().mkpath(sub));
            QVERIFY(buildChain(sub, depth, 5000 * (i + 1), QByteArray(nameLength, 'n')));
        }
    }
    const auto fewDescriptors = [limit] {
        const rlimit fileLimit{rlim_t(limit), rlim_t(limit)};
        ::setrlimit(RLIMIT_NOFILE, &fileLimit);
    };
    const Run run = quarn({"-j", "-b", "-n", "2", scratch.path()}, fewDescriptors);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QJsonObject report = parseReport(run);
    QCOMPARE(sizeOf(report), duBytes(scratch.path(), false));
    const QJsonObject largest = report.value("children").toArray().first().toObject();
    const QString last = scratch.path() + "/w" + QString::number(wide - 1);
    QCOMPARE(largest.value("name").toString(), last);
    QCOMPARE(sizeOf(largest), duBytes(last, false));
}

void ScannerCliTest::vanishedTarget()
{
    // The working folder removed before the run: it reads as empty, as du
    // reads it, not as an error.
    Scratch scratch;
    const QByteArray gone = QFile::encodeName(scratch.path() + "/gone");
    QVERIFY(::mkdir(gone.constData(), 0755) == 0);
    const auto enterAndRemove = [gone] {
        if (::chdir(gone.constData()) != 0 || ::rmdir(gone.constData()) != 0)
            ::_exit(99);
    };
    const Run du = runProgram("du", {"-sB1", "."}, enterAndRemove);
    QCOMPARE(du.exitCode, 0);
    QVERIFY(::mkdir(gone.constData(), 0755) == 0);
    const Run run = quarn({"-j", "-b", "."}, enterAndRemove);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QJsonObject report = parseReport(run);
    QCOMPARE(report.value("name").toString(), QString("."));
    QCOMPARE(sizeOf(report), du.out.split('\t').value(0).toLongLong());
    QVERIFY(!report.contains("error"));
}

void ScannerCliTest::sumsSaturate()
{
    // Sparse files of the largest length a file may have (tmpfs allows it):
    // two of them already exceed any 64-bit count.
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "d m"));
    Mounts mounts;
    if (!mounts.mount({"-t", "tmpfs", "-o", "size=4m", "tmpfs", scratch.path() + "/m"}))
        QSKIP("cannot mount here (needs root)");
    const QString largest = QString::number(std::numeric_limits<qint64>::max());
    QVERIFY(buildTree(scratch.path(), QString("s m/a L; s m/sub/b L; s m/sub/c L").replace("L", largest)));

    for (const char *threads : {"1", "4"}) {
        const Run run = quarn({"--apparent-size", "-j", "-b", "-t", threads, "-n", "6", scratch.path()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        const QJsonObject report = parseReport(run);
        // Every sum stops at the largest count; equal sizes rank shallower
        // first, so each folder still comes before what it holds.
        forEachNode(report,
                    [&](const QJsonObject &node) { QCOMPARE(node.value("size").toString(), largest); });
        QCOMPARE(outline(report).replace(scratch.path(), "T"), QString("T(m(a,sub(b,c)))"));
    }
}

void ScannerCliTest::writeFailures_data()
{
    QTest::addColumn<QString>("stdoutKind");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // all of stderr
    QTest::newRow("device full") << "full" << 1 << "quarn: write error: No space left on device\n";
    QTest::newRow("stdout closed") << "closed" << 1 << "quarn: write error: Bad file descriptor\n";
    QTest::newRow("reader gone, SIGPIPE ignored") << "gone" << 1 << "quarn: write error: Broken pipe\n";
    QTest::newRow("non-blocking pipe, slow reader") << "slow" << 0 << "";
}

// The report written where writing fails, or has to wait: a failure is an
// error (status 1), waiting is not.
void ScannerCliTest::writeFailures()
{
    QFETCH(QString, stdoutKind);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    // 1,000 files of long names: a report far larger than a pipe holds.
    Scratch scratch;
    QString layout;
    for (int i = 0; i < 1000; ++i)
        layout += QString("f %1%2 %3;").arg(QString(100, 'n')).arg(i).arg(i);
    QVERIFY(buildTree(scratch.path(), layout));
    const QStringList arguments{"-j", "-n", "1001", scratch.path()};
    const Run normal = quarn(arguments);
    QCOMPARE(normal.exitCode, 0);
    QVERIFY(normal.out.size() > 2 * 65536);

    int pipeFds[2] = {-1, -1};
    QVERIFY(::pipe2(pipeFds, O_CLOEXEC) == 0);
    if (stdoutKind == "gone")
        ::close(pipeFds[0]);
    if (stdoutKind == "slow")
        QVERIFY(::fcntl(pipeFds[1], F_SETFL, O_NONBLOCK) == 0);
    const int writeEnd = pipeFds[1];
    const char kind = stdoutKind.at(0).toLatin1(); // the child may not allocate: a plain char
    const auto redirect = [kind, writeEnd] {
        if (kind == 'f') {
            const int full = ::open("/dev/full", O_WRONLY);
            ::dup2(full, STDOUT_FILENO);
        } else if (kind == 'c') {
            ::close(STDOUT_FILENO);
        } else {
            ::signal(SIGPIPE, SIG_IGN);
            ::dup2(writeEnd, STDOUT_FILENO);
        }
    };
    QProcess process;
    process.setChildProcessModifier(redirect);
    process.start(QStringLiteral(QUARN_PROGRAM), arguments);
    QVERIFY(process.waitForStarted());
    ::close(writeEnd);
    QByteArray piped;
    if (stdoutKind == "slow") {
        QThread::msleep(500); // the writer meets a full pipe and must wait
        char buffer[65536];
        for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            piped.append(buffer, qsizetype(got));
    }
    if (stdoutKind != "gone")
        ::close(pipeFds[0]);
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()), message);
    if (stdoutKind == "slow")
        QCOMPARE(piped, normal.out);
}

QTEST_GUILESS_MAIN(ScannerCliTest)
#include "tst_scannercli.moc"
