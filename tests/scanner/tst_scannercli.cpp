// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The quarn program run on trees built at test time, compared with du.

#include "testpaths.h"
#include "tracestop.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cwchar>
#include <functional>
#include <limits>
#include <thread>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments,
               const std::function<void()> &childSetup = {},
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (childSetup)
        process.setChildProcessModifier(childSetup);
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Run quarn(const QStringList &arguments, const std::function<void()> &childSetup = {},
          const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    return runProgram(QStringLiteral(QUARN_PROGRAM), arguments, childSetup, environment);
}

// What else happens to a program run on a terminal.
struct TerminalRun
{
    std::function<void()> childSetup;
    bool suspended = false; // the terminal's output suspended (as by ^S) from the start
    int signal = 0;         // sent 1.2 s into the run to the program's child (strace's tracee)
};

// The process that pid started last, or pid itself when it has none.
pid_t lastChild(pid_t pid)
{
    QFile children(QString("/proc/%1/task/%1/children").arg(pid));
    if (!children.open(QIODevice::ReadOnly))
        return pid;
    const QList<QByteArray> pids = children.readAll().trimmed().split(' ');
    return pids.last().isEmpty() ? pid : pid_t(pids.last().toInt());
}

// Runs the program with standard output (stream 1) or standard error
// (stream 2) on a pseudo-terminal of 60 columns that passes bytes as they
// are; what the terminal received is returned in out or err. A run killed
// by a signal has the exit code a shell gives it: 128 + the signal.
Run runOnTerminal(const QString &program, const QStringList &arguments, int stream,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                  const TerminalRun &how = {})
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return {};
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    const winsize size{24, 60, 0, 0};
    if (terminal < 0 || ::tcgetattr(terminal, &mode) != 0)
        return {};
    ::cfmakeraw(&mode);
    ::tcsetattr(terminal, TCSANOW, &mode);
    ::ioctl(terminal, TIOCSWINSZ, &size);
    ::fcntl(master, F_SETFL, O_NONBLOCK);

    if (how.suspended)
        ::tcflow(terminal, TCOOFF);

    QProcess process;
    process.setProcessEnvironment(environment);
    const std::function<void()> childSetup = how.childSetup;
    process.setChildProcessModifier([terminal, stream, childSetup] {
        ::dup2(terminal, stream);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (childSetup)
            childSetup();
    });
    process.start(program, arguments);
    process.closeWriteChannel();
    ::close(terminal);
    QByteArray shown;
    const auto readTerminal = [&] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, qsizetype(got));
    };
    bool signalled = false;
    for (int waited = 0; process.state() != QProcess::NotRunning && waited < 60000; waited += 20) {
        process.waitForFinished(20);
        // Once a progress line is shown (on a slow build it comes late), or after 10 s.
        if (how.signal && !signalled && (shown.contains(" entries, ") || waited >= 10000)) {
            ::kill(lastChild(pid_t(process.processId())), how.signal);
            signalled = true;
        }
        readTerminal(); // a terminal holds little: read it while the program runs
    }
    readTerminal();
    ::close(master);
    int exitCode = -1;
    if (process.state() == QProcess::NotRunning)
        exitCode =
            process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 128 + process.exitCode();
    Run run{exitCode, process.readAllStandardOutput(), process.readAllStandardError()};
    (stream == STDOUT_FILENO ? run.out : run.err) = shown;
    return run;
}

// Columns a terminal of the C.UTF-8 locale gives the character.
int columnsOf(uint c)
{
    static const bool localeSet = ::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    Q_UNUSED(localeSet);
    return std::max(0, ::wcwidth(wchar_t(c)));
}

// The lines a terminal shows after receiving UTF-8 text: a carriage return
// goes back to the start of the line, other characters overwrite what is
// there, as many columns as they take. Trailing blanks removed.
QList<QByteArray> screenLines(const QByteArray &text)
{
    constexpr uint covered = 0xFFFFFFFF; // the second column of a wide character
    QList<QList<uint>> lines{{}};
    int column = 0;
    for (const uint c : QString::fromUtf8(text).toUcs4()) {
        if (c == '\n') {
            lines.append(QList<uint>());
            column = 0;
        } else if (c == '\r') {
            column = 0;
        } else {
            QList<uint> &line = lines.last();
            for (int i = 0; i < std::max(1, columnsOf(c)); ++i, ++column) {
                if (column >= line.size())
                    line.resize(column + 1, ' ');
                line[column] = i == 0 ? c : covered;
            }
        }
    }
    QList<QByteArray> shown;
    for (const QList<uint> &line : lines) {
        QList<uint> characters;
        for (uint c : line)
            if (c != covered)
                characters.append(c);
        shown.append(
            QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData()), characters.size())
                .toUtf8());
        while (shown.last().endsWith(' '))
            shown.last().chop(1);
    }
    return shown;
}

// The program run by strace with every directory read delayed by 0.1 s: a
// walk that takes long enough to show progress on any machine. Empty when
// strace is missing or may not trace here.
QStringList slowly(const QStringList &programAndArguments)
{
    static const bool traceable = runProgram("strace", {"-o", "/dev/null", "true"}).exitCode == 0;
    if (!traceable)
        return {};
    QStringList strace{"strace", "-f",
                       "-o",     "/dev/null",
                       "-e",     "trace=getdents64",
                       "-e",     "inject=getdents64:delay_enter=100000"};
#ifdef QUARN_SANITIZED_BUILD
    // The leak checker cannot work under a tracer and would end the run.
    strace << "-E"
           << "ASAN_OPTIONS=detect_leaks=0";
#endif
    return strace + programAndArguments;
}

// Runs as user and group nobody, as a root-run CI must to meet permissions.
Run runUnprivileged(const QString &program, const QStringList &arguments)
{
    if (::geteuid() != 0)
        return runProgram(program, arguments);
    return runProgram("setpriv",
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments);
}

// A user id that runs no process now, for a limit on processes: the limit
// counts every process of the user, and nobody's may be a daemon's or
// another test's, which would keep the run from starting at all.
uint idleUid()
{
    QSet<uint> busy;
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status("/proc/" + pid + "/status");
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Uid:"))
                busy.insert(line.mid(4).simplified().split(' ').value(0).toUInt());
    }
    uint uid = 65533;
    while (busy.contains(uid) && uid > 60000)
        --uid;
    return uid;
}

// In a child about to run the program: closes what it would inherit beyond
// the standard streams (a test runner's own descriptors), so that a limit
// on descriptors leaves the program what it says. Async-signal-safe.
void closeInheritedDescriptors()
{
    for (int fd = STDERR_FILENO + 1; fd < 1024; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            ::close(fd);
    }
}

// Every line of du -a -B1 with measure (an option of du's, or none) as
// "SIZE PATH", sorted.
QString duLines(const QStringList &paths, const QStringList &measure)
{
    QStringList lines;
    for (const QByteArray &line :
         runProgram("du", QStringList{"-a", "-B1"} + measure + paths).out.split('\n'))
        if (!line.isEmpty())
            lines << QString::fromLocal8Bit(line).replace('\t', ' ');
    lines.sort();
    return lines.join('\n');
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

// The names in dir in the order getdents lists them, "." and ".." included.
QStringList listedNames(const QString &dir)
{
    QStringList listed;
    DIR *stream = ::opendir(dir.toLocal8Bit().constData());
    for (const dirent *entry; stream && (entry = ::readdir(stream));)
        listed << QString::fromLocal8Bit(entry->d_name);
    if (stream)
        ::closedir(stream);
    return listed;
}

// Builds a tree from lines of a small layout language, relative to root:
//   d PATH            folder
//   f PATH BYTES      file of that many bytes
//   s PATH BYTES      sparse file: that length, one byte written at the start
//   h PATH EXISTING   hard link
//   l PATH TARGET     symbolic link
//   o DIR ENTRY BYTES file ENTRY (a name, or folder/name) of that many bytes
//                     in DIR, and a second name of it in a folder of DIR
//                     made to be listed (by getdents) before ENTRY, the last
//                     such folder
//   a DIR             a second name of the last file listed in DIR before
//                     its last folder listed, in that folder
bool buildTree(const QString &root, const QString &layout)
{
    for (const QString &line : layout.split(';', Qt::SkipEmptyParts)) {
        const QStringList word = line.trimmed().split(' ');
        const QByteArray path = (root + "/" + word.value(1)).toLocal8Bit();
        QDir().mkpath(QFileInfo(QString::fromLocal8Bit(path)).path());
        const QString kind = word.value(0);
        if (kind == "o") {
            // Folders made before and after ENTRY until one is listed before it.
            const QString dir = root + "/" + word.value(1);
            const QString first = word.value(2).section('/', 0, 0);
            if (!QDir().mkpath(dir + "/second0") ||
                !buildTree(dir, "f " + word.value(2) + " " + word.value(3)))
                return false;
            QString before; // the last listed before ENTRY: no other folder lies between them
            for (int made = 1; before.isEmpty(); ++made) {
                const QStringList listed = listedNames(dir);
                for (const QString &name : listed.mid(0, listed.indexOf(first)))
                    if (name.startsWith("second"))
                        before = name;
                if (before.isEmpty() && made == 100)
                    return false;
                if (before.isEmpty())
                    QDir(dir).mkdir("second" + QString::number(made)); // or made by an earlier line
            }
            const QString link = before + "/" + QString(word.value(2)).replace('/', '-');
            if (!buildTree(dir, "h " + link + " " + word.value(2)))
                return false;
            continue;
        }
        if (kind == "a") {
            const QString dir = root + "/" + word.value(1);
            QString file, lastFile, folder;
            for (const QString &name : listedNames(dir)) {
                const QFileInfo info(dir + "/" + name);
                if (info.isDir() && !lastFile.isEmpty() && name != "." && name != "..") {
                    folder = name;
                    file = lastFile;
                } else if (info.isFile()) {
                    lastFile = name;
                }
            }
            if (folder.isEmpty() || !buildTree(dir, "h " + folder + "/" + file + "2 " + file))
                return false;
            continue;
        }
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

// A copy of quarn in folder, which is opened to everyone: the build tree may
// lie where nobody cannot reach (say, under /root). Empty if that failed.
QString programForEveryone(const Scratch &folder)
{
    const QString program = folder.path() + "/quarn";
    if (!QFile::copy(QUARN_PROGRAM, program) ||
        ::chmod(QFile::encodeName(folder.path()).constData(), 0755) != 0)
        return QString();
    return program;
}

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
    void exclusionMatchesDu_data();
    void exclusionMatchesDu();

    void selection_data();
    void selection();
    void targetNames_data();
    void targetNames();
    void rootTarget();
    void unusualNames_data();
    void unusualNames();
    void textReport();
    void colour_data();
    void colour();
    void progressLine_data();
    void progressLine();

    void mountPoints_data();
    void mountPoints();
    void unreadableFolder();
    void refusedRuns_data();
    void refusedRuns();
    void versionText();

    void deepTree();
    void resourceLimits_data();
    void resourceLimits();
    void vanishedTarget();
    void sumsSaturate();
    void writeFailures_data();
    void writeFailures();
    void exportReadBack_data();
    void exportReadBack();
    void exportReplacesFileWhole_data();
    void exportReplacesFileWhole();
    void exportReportsAsWalk_data();
    void exportReportsAsWalk();
    void badExports_data();
    void badExports();
    void treeDiff_data();
    void treeDiff();
};

void ScannerCliTest::totalsMatchDu_data()
{
    QTest::addColumn<QString>("layout");
    // Relative to the tree, several separated by blanks; empty: the tree.
    // Words starting with '-' are options given to du and quarn alike.
    QTest::addColumn<QString>("target");

    QTest::newRow("files") << "f a 0; f b 1; f c 4095; f d 4097; f sub/e 100000; f sub/deeper/f 7000"
                           << "";
    QTest::newRow("sparse files") << "s big 50000000; s sub/huge 3000000000; f sub/small 10"
                                  << "";
    QTest::newRow("hard links in one folder") << "f a 20000; h b a; h c a; f d 10"
                                              << "";
    QTest::newRow("hard links across folders")
        << "f one/a 30000; h two/b one/a; h two/deep/c one/a; f two/d 5000"
        << "";
    QTest::newRow("hard links, the second name listed first")
        << "o . a/f 300000; o . g 70000; o deep/er h 50000; o deep x/y/i 20000; f j 9000; h deep/j2 j"
        << "";
    // Subfolders handed on in batches while the folder is listed, and more
    // of its names than one write of the export holds: the folder listed
    // last, after several writes, holds a second name of the file listed
    // just before it.
    QString wide;
    for (int i = 0; i < 150; ++i)
        wide += "d w/sub" + QString::number(i) + "; f w/" + QString(240, 'n') + QString::number(i) +
                " 1; f w/" + QString(240, 'm') + QString::number(i) + " 1; ";
    QTest::newRow("hard links in a folder of many entries")
        << wide + "a w; o w f 40000; o w sub7/g 30000; o w/sub149 h 20000"
        << "";
    QTest::newRow("symbolic links")
        << "f real 9000; d dir; f dir/inside 80000; l tofile real; l todir dir; l dangling nowhere; "
           "l loop loop; l ping pong; l pong ping; l up .."
        << "";
    QTest::newRow("empty folders") << "d e1; d e2/e3/e4; d e5"
                                   << "";
    QTest::newRow("file target") << "f sub/file 12345"
                                 << "sub/file";
    QTest::newRow("hard-linked file target") << "f file 12345; h link file"
                                             << "link";
    QTest::newRow("symbolic link target is not followed") << "d dir; f dir/x 50000; l link dir"
                                                          << "link";
    QTest::newRow("-D: a linked target followed, not the links below it")
        << "d dir; f dir/x 50000; l dir/up ..; l dir/tofile x; l link dir"
        << "-D link";
    QTest::newRow("-H: a linked file target") << "f x 50000; l link x"
                                              << "-H link";
    // Each file and folder counts once, at the first name met; a link to an
    // ancestor counts nothing; links lead out of the tree.
    const QString followed = "f in/real 9000; d in/dir; f in/dir/inside 80000; l in/tofile real; "
                             "l in/todir dir; l in/dir/up ..; l in/dir/out ../../outside; "
                             "f outside/o 70000; h in/dir/hard in/real; l in/dir/again inside; "
                             "d in/deep/er; l in/deep/er/back ../../dir/inside";
    QTest::newRow("-L: links to files, folders, ancestors and out of the tree") << followed << "-L in";
    QTest::newRow("-L: a linked target") << followed + "; l link in"
                                         << "-L link";
    QTest::newRow("-L: dangling links and loops of links")
        << "f in/a 5000; l in/dangling nowhere; l in/loop loop; l in/ping pong; l in/pong ping; d in/sub; "
           "l in/sub/gone ../nowhere"
        << "-L in";
    QTest::newRow("-L: several paths sharing a linked folder")
        << "f one/sub/a 30000; f two/b 4000; l two/l ../one/sub; l two/m ../one/sub/a"
        << "-L one two";
    // Several paths: what they share counts once, in the first path that
    // holds it, as du counts it.
    const QString linked = "f one/a 30000; h two/b one/a; h two/deep/c one/a; f two/d 5000; f one/e 700";
    QTest::newRow("several paths sharing hard links") << linked << "one two";
    QTest::newRow("several paths sharing hard links, the other first") << linked << "two one";
    const QString nested = "f one/a 30000; f one/sub/b 7000; f one/sub/deep/c 900";
    QTest::newRow("a path given twice") << nested << "one one";
    QTest::newRow("a folder of an earlier path") << nested << "one one/sub";
    QTest::newRow("a folder of a later path") << nested << "one/sub one";
    QTest::newRow("a file of a later path, given again after it") << nested << "one/a one one/a";
}

void ScannerCliTest::totalsMatchDu()
{
    QFETCH(QString, layout);
    QFETCH(QString, target);
    Scratch scratch;
    QVERIFY(scratch.isValid());
    QVERIFY(buildTree(scratch.path(), layout));
    QStringList paths, follow;
    for (const QString &name : target.split(' ', Qt::SkipEmptyParts))
        (name.startsWith('-') ? follow : paths)
            << (name.startsWith('-') ? name : scratch.path() + "/" + name);
    if (paths.isEmpty())
        paths << scratch.path();
    // Several paths end with their total, as du -c prints it.
    const QStringList total = (paths.size() > 1 ? QStringList{"-c"} : QStringList()) + follow;

    for (const QString &measure : QStringList{"", "--apparent-size", "--inodes"}) {
        const QStringList measured = measure.isEmpty() ? QStringList() : QStringList{measure};
        const Run duTotals = runProgram("du", QStringList{"-s", "-B1"} + measured + total + paths);
        const QString expected = QString::fromLocal8Bit(duTotals.out).replace('\t', ' ');
        // Entries du cannot read (links that lead nowhere) make it and
        // quarn end with status 1.
        const int status = duTotals.exitCode;
        const Run run = quarn(QStringList{"-j", "-b", "-n", "1000"} + measured + total + paths);
        QCOMPARE(run.exitCode, status);
        if (status == 0)
            QCOMPARE(run.err, QByteArray());
        // One document a line, each path's (or the total's) size first.
        QList<QJsonObject> reports;
        QString totals;
        for (const QByteArray &line : run.out.split('\n')) {
            if (line.isEmpty())
                continue;
            reports << parseReport(Run{0, line, {}});
            totals += reports.last().value("size").toString() + " " +
                      reports.last().value("name").toString() + "\n";
        }
        QCOMPARE(totals, expected);
        // The same as text lines, with -s: size first, name last.
        const Run summary = quarn(QStringList{"-s", "-b", "--color=never"} + measured + total + paths);
        QCOMPARE(summary.exitCode, status);
        // Each line's share is of the run's total (its last line, -c),
        // not 100.0% on every line of several paths.
        QString summarized;
        const QStringList summaryLines = QString::fromUtf8(summary.out).split('\n', Qt::SkipEmptyParts);
        const double whole =
            summaryLines.isEmpty()
                ? 0
                : summaryLines.last().section(' ', 0, 0, QString::SectionSkipEmpty).toDouble();
        for (const QString &line : summaryLines) {
            // The name, without what a link points to or what could not be read.
            const QStringList words =
                line.section("  [", 0, 0).section(" -> ", 0, 0).split(' ', Qt::SkipEmptyParts);
            summarized += words.first() + " " + words.last() + "\n";
            // A PATH that is a link not followed names what it points to.
            QCOMPARE(line.contains(" -> "), follow.isEmpty() && QFileInfo(words.last()).isSymLink());
            const double share = whole > 0 ? words.first().toDouble() * 100 / whole : 0;
            QCOMPARE(words.at(1), QString::asprintf("%.1f%%", share));
        }
        QCOMPARE(summarized, expected);

        // Every entry is reported: the names du -a lists, no other (not a
        // second name of a file already counted).
        QStringList names, duNames;
        for (const QJsonObject &report : reports)
            forEachNode(report, [&](const QJsonObject &node) { names << node.value("name").toString(); });
        const Run du = runProgram("du", QStringList{"-a"} + total + paths);
        for (const QByteArray &line : du.out.split('\n'))
            if (!line.isEmpty())
                duNames << QString::fromLocal8Bit(line.mid(line.indexOf('\t') + 1));
        names.sort();
        duNames.sort();
        QCOMPARE(names, duNames);
        if (paths.size() > 1)
            continue;
        // Every entry's size as du's whole walk counts it: a file with
        // several links in the folder of the name du meets first, at every
        // thread count, and the same from the walk's export.
        const QString expectedLines = duLines(paths, measured + follow);
        const auto reportLines = [](const QByteArray &out) {
            QStringList lines;
            forEachNode(parseReport(Run{0, out, {}}), [&](const QJsonObject &node) {
                lines << node.value("size").toString() + " " + node.value("name").toString();
            });
            lines.sort();
            return lines.join('\n');
        };
        for (const QString &threads : QStringList{"1", "2", "8", "32"}) {
            const QStringList options = measured + follow + QStringList{"-t", threads};
            const Run walk = quarn(QStringList{"-j", "-b", "-n", "1000"} + options + paths);
            QCOMPARE(walk.exitCode, status);
            QCOMPARE(reportLines(walk.out), expectedLines);
            // The export of a followed walk holds what the links lead to.
            const Run exported = quarn(QStringList{"-t", threads, "-o", "-"} + follow + paths);
            QCOMPARE(exported.exitCode, status);
            QTemporaryFile file; // outside the tree
            QVERIFY(file.open() && file.write(exported.out) == exported.out.size() && file.flush());
            const Run imported =
                quarn(QStringList{"-j", "-b", "-n", "1000"} + measured + QStringList{"-f", file.fileName()});
            if (status == 0)
                QCOMPARE(imported.err, QByteArray());
            QCOMPARE(imported.out, walk.out);
        }
    }
}

void ScannerCliTest::exclusionMatchesDu_data()
{
    QTest::addColumn<QString>("target"); // "@": the scratch folder, also the working folder
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("duArguments"); // empty: the same
    QTest::newRow("name") << "t" << QStringList{"--exclude=a"} << QStringList();
    QTest::newRow("path through the target") << "@/t" << QStringList{"--exclude=t/a"} << QStringList();
    QTest::newRow("leading ./, target given so") << "./t" << QStringList{"--exclude=./t/a"} << QStringList();
    QTest::newRow("leading ./, target given without")
        << "t" << QStringList{"--exclude=./t/a"} << QStringList();
    QTest::newRow("star crosses slashes") << "t" << QStringList{"--exclude=a*b"} << QStringList();
    QTest::newRow("question mark crosses slashes") << "t" << QStringList{"--exclude=a?b"} << QStringList();
    QTest::newRow("bracket holds a slash") << "t" << QStringList{"--exclude=c[/]a.o"} << QStringList();
    QTest::newRow("dot files") << "t" << QStringList{"--exclude=.*"} << QStringList();
    QTest::newRow("star takes a leading dot") << "t" << QStringList{"--exclude=*hid"} << QStringList();
    QTest::newRow("name glob, folders too")
        << "t" << QStringList{"--exclude=*.o", "--exclude=er"} << QStringList();
    QTest::newRow("quoted letter") << "t" << QStringList{"--exclude=\\a"} << QStringList();
    QTest::newRow("literal after a doubled slash")
        << "@//t" << QStringList{"--exclude=/t/a"} << QStringList();
    QTest::newRow("glob after a doubled slash") << "@//t" << QStringList{"--exclude=/t/[a]"} << QStringList();
    QTest::newRow("']' alone is no wildcard: a trailing backslash stays")
        << "t" << QStringList{"--exclude=x]\\"} << QStringList();
    QTest::newRow("symbolic link") << "t" << QStringList{"--exclude=link"} << QStringList();
    QTest::newRow("patterns from a file")
        << "t" << QStringList{"--exclude=.dot", "-X", "@/patterns"} << QStringList();
    QTest::newRow("--exclude-caches")
        << "t" << QStringList{"--exclude-caches"} << QStringList{"--exclude=cache/x", "--exclude=cache/sub"};
    QTest::newRow("--exclude-caches on a tagged target")
        << "t/cache" << QStringList{"--exclude-caches"} << QStringList{"--exclude=x", "--exclude=sub"};
    // Characters of the locale (C.UTF-8), not bytes.
    QTest::newRow("question mark is a character")
        << "t" << QStringList{"--exclude=caf?", "--exclude=???"} << QStringList();
    QTest::newRow("bracket holds a character") << "t" << QStringList{"--exclude=caf[é]"} << QStringList();
    QTest::newRow("character class") << "t" << QStringList{"--exclude=[[:alpha:]]??"} << QStringList();
    QTest::newRow("patterns from a file, each line up to a NUL")
        << "t" << QStringList{"-X", "@/nul-patterns"} << QStringList();
    QTest::newRow("200,000 names from a file, in reverse order")
        << "t" << QStringList{"-X", "@/many-patterns"} << QStringList();
    QTest::newRow("--inodes") << "t" << QStringList{"--inodes"} << QStringList();
    QTest::newRow("--inodes, name glob") << "t" << QStringList{"--inodes", "--exclude=*.o"} << QStringList();
}

// Everything reported, with -n large enough for every entry, against du -a,
// in no more than three times du's time and half a second.
void ScannerCliTest::exclusionMatchesDu()
{
    QFETCH(QString, target);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, duArguments);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(),
                      "f t/a/b/f 3000; f t/a/xb 5000; f t/c/a.o 7000; f t/c/keep 9000; "
                      "f t/.hid/g 11000; f t/.dot 13000; f t/deep/er/a.o 15000; l t/link a; "
                      "f t/cache/x 17000; f t/cache/sub/y 19000; f t/fake/z 21000; d t/empty; "
                      "f t/café 23000; f t/日本語 25000; f t/build/w 27000; f t/x]\\ 29000"));
    const auto write = [&](const QString &name, const QByteArray &text) {
        QFile file(scratch.path() + "/" + name);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    QVERIFY(write("t/cache/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55\n# a cache\n"));
    QVERIFY(write("t/fake/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc5")); // one byte short
    QVERIFY(write("patterns", "*.o  \n\n \t\na/b\n"));
    QVERIFY(write("nul-patterns", QByteArray("a.o\0junk\nbuild\0/w \n\0\nxb\0", 24)));
    QByteArray many;
    for (int i = 200000; i-- > 0;)
        many += (i == 100000 ? QByteArray("keep") : "name" + QByteArray::number(i)) + "\n";
    QVERIFY(write("many-patterns", many));
    target.replace("@", scratch.path());
    arguments.replaceInStrings("@", scratch.path());
    if (duArguments.isEmpty())
        duArguments = arguments;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    const auto run = [&](const QString &program, const QStringList &programArguments, qint64 &elapsedMs) {
        QProcess process;
        process.setWorkingDirectory(scratch.path());
        process.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        process.start(program, programArguments);
        const bool finished = process.waitForFinished();
        elapsedMs = timer.elapsed();
        return Run{finished ? process.exitCode() : -1, process.readAllStandardOutput(),
                   process.readAllStandardError()};
    };
    qint64 duMs = 0;
    qint64 ownMs = 0;
    const Run du = run("du", QStringList{"-a", "-B1"} + duArguments + QStringList{target}, duMs);
    QCOMPARE(du.exitCode, 0);
    QStringList expected = QString::fromLocal8Bit(du.out).replace('\t', ' ').split('\n', Qt::SkipEmptyParts);
    const Run own =
        run(QUARN_PROGRAM, QStringList{"-j", "-b", "-n", "1000"} + arguments + QStringList{target}, ownMs);
    QCOMPARE(own.err, QByteArray());
    QCOMPARE(own.exitCode, 0);
    QVERIFY2(ownMs <= 3 * duMs + 500, qPrintable(QString("%1 ms, du %2 ms").arg(ownMs).arg(duMs)));
    QStringList reported;
    forEachNode(parseReport(own), [&](const QJsonObject &node) {
        reported << node.value("size").toString() + " " + node.value("name").toString();
    });
    expected.sort();
    reported.sort();
    QCOMPARE(reported, expected);
}

void ScannerCliTest::selection_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("maxDepth"); // -1: none
    QTest::addColumn<QString>("expected");
    // With apparent sizes (folders 4096 each): root 160480, d1 78192, big 50000,
    // x 30000, y 30000, then d2, tie (depth 1) and x2 (depth 2) at 14096, z 10000.
    QTest::newRow("target only") << 1 << -1 << "T";
    QTest::newRow("largest child") << 2 << -1 << "T(d1)";
    QTest::newRow("file among folders") << 3 << -1 << "T(d1,big)";
    QTest::newRow("equal sizes by name") << 4 << -1 << "T(d1(x),big)";
    QTest::newRow("both equal files") << 5 << -1 << "T(d1(x,y),big)";
    QTest::newRow("folder wins a tie by name") << 6 << -1 << "T(d1(x,y),big,d2)";
    QTest::newRow("shallower wins a tie") << 7 << -1 << "T(d1(x,y),big,d2,tie)";
    QTest::newRow("deeper tie comes next") << 8 << -1 << "T(d1(x,y,x2),big,d2,tie)";
    QTest::newRow("everything") << 9 << -1 << "T(d1(x,y,x2),big,d2(z),tie)";
    QTest::newRow("more than there is") << 50 << -1 << "T(d1(x,y,x2),big,d2(z),tie)";
    QTest::newRow("depth 0: the target alone") << 9 << 0 << "T";
    QTest::newRow("depth 1: files and folders below it left out") << 9 << 1 << "T(d1,big,d2,tie)";
    QTest::newRow("depth 1, room for a shallower folder") << 4 << 1 << "T(d1,big,d2)";
    QTest::newRow("depth beyond the tree") << 9 << 2 << "T(d1(x,y,x2),big,d2(z),tie)";
}

void ScannerCliTest::selection()
{
    QFETCH(int, top);
    QFETCH(int, maxDepth);
    QFETCH(QString, expected);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f T/big 50000; f T/d1/y 30000; f T/d1/x 30000; f T/d1/x2 14096; "
                                      "f T/d2/z 10000; f T/tie 14096"));
    const QString root = scratch.path() + "/T";
    for (const char *threads : {"1", "2", "8"}) {
        QStringList arguments{"--apparent-size", "-j", "-b", "-t", threads, "-n", QString::number(top), root};
        if (maxDepth >= 0)
            arguments << "-d" << QString::number(maxDepth);
        const Run run = quarn(arguments);
        QCOMPARE(run.exitCode, 0);
        const QJsonObject report = parseReport(run);
        QCOMPARE(sizeOf(report), 160480);
        QCOMPARE(outline(report).replace(root, "T"), expected);
    }
}

void ScannerCliTest::targetNames_data()
{
    // Shown as du shows them: as given, but trailing slashes become one.
    QTest::addColumn<QString>("given"); // "@" stands for the scratch folder
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("child");
    QTest::newRow("plain") << "@/t"
                           << "@/t"
                           << "@/t/f";
    QTest::newRow("trailing slashes") << "@/t///"
                                      << "@/t/"
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
                               << "./"
                               << "./t";
    QTest::newRow("link to a folder, with a slash") << "l/"
                                                    << "l/"
                                                    << "l/f";
}

void ScannerCliTest::targetNames()
{
    QFETCH(QString, given);
    QFETCH(QString, name);
    QFETCH(QString, child);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f t/f 100000; l l t"));
    given.replace("@", scratch.path());
    name.replace("@", scratch.path());
    QProcess process;
    process.setWorkingDirectory(scratch.path());
    process.start(QUARN_PROGRAM, {"-j", "-n", "2", given});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 0);
    const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QCOMPARE(report.value("name").toString(), name);
    const QJsonArray children = report.value("children").toArray();
    QCOMPARE(children.size(), 1);
    QCOMPARE(children.first().toObject().value("name").toString(), child.replace("@", scratch.path()));

    QProcess du;
    du.setWorkingDirectory(scratch.path());
    du.start("du", {"-s", given});
    QVERIFY(du.waitForFinished());
    QCOMPARE(QString::fromLocal8Bit(du.readAllStandardOutput()).section('\t', 1).trimmed(), name);
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

    QProcessEnvironment utf8 = QProcessEnvironment::systemEnvironment();
    utf8.insert("LC_ALL", "C.UTF-8");
    const Run run = quarn({"-j", "-n", "3", scratch.path()}, {}, utf8);
    QCOMPARE(run.exitCode, 0);
    // The locale changes how patterns match, never what is written.
    QProcessEnvironment plainC = utf8;
    plainC.insert("LC_ALL", "C");
    const Run inC = quarn({"-j", "-n", "3", scratch.path()}, {}, plainC);
    QCOMPARE(inC.out, run.out);
    QCOMPARE(inC.err, run.err);
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

void ScannerCliTest::colour_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("noColour"); // NO_COLOR's value; "-": unset
    QTest::addColumn<bool>("terminal");    // standard output a terminal
    QTest::addColumn<bool>("coloured");
    QTest::newRow("pipe") << QStringList() << "-" << false << false;
    QTest::newRow("terminal") << QStringList() << "-" << true << true;
    QTest::newRow("terminal, NO_COLOR") << QStringList() << "1" << true << false;
    QTest::newRow("terminal, NO_COLOR empty") << QStringList() << "" << true << true;
    QTest::newRow("terminal, --color=never") << QStringList{"--color=never"} << "-" << true << false;
    QTest::newRow("pipe, --color=always") << QStringList{"--color=always"} << "-" << false << true;
    QTest::newRow("pipe, --colour alone") << QStringList{"--colour"} << "-" << false << true;
    QTest::newRow("NO_COLOR, --color=always") << QStringList{"--color=always"} << "1" << false << true;
    QTest::newRow("terminal, --color=auto") << QStringList{"--color=auto"} << "-" << true << true;
}

void ScannerCliTest::colour()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, noColour);
    QFETCH(bool, terminal);
    QFETCH(bool, coloured);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f a 30000; f b 10000"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("NO_COLOR");
    if (noColour != "-")
        environment.insert("NO_COLOR", noColour);
    arguments << "--no-progress" << scratch.path();
    const Run run = terminal ? runOnTerminal(QUARN_PROGRAM, arguments, STDOUT_FILENO, environment)
                             : quarn(arguments, {}, environment);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains(scratch.path().toLocal8Bit()));
    QCOMPARE(run.out.contains("\x1b["), coloured);
}

void ScannerCliTest::progressLine_data()
{
    QTest::addColumn<bool>("terminal"); // standard error a terminal
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("locked");       // run as nobody, with an unreadable folder met late
    QTest::addColumn<QString>("levelName"); // before the number naming each level
    QTest::addColumn<int>("signal");        // sent during the walk
    QTest::addColumn<bool>("suspended");    // the terminal's output suspended
    QTest::addColumn<bool>("shown");
    QTest::newRow("terminal") << true << QStringList() << false << "" << 0 << false << true;
    QTest::newRow("pipe") << false << QStringList() << false << "" << 0 << false << false;
    QTest::newRow("terminal, --no-progress")
        << true << QStringList{"--no-progress"} << false << "" << 0 << false << false;
    QTest::newRow("terminal, error line meanwhile")
        << true << QStringList() << true << "" << 0 << false << true;
    // Two columns each in the locale, some of them not in older tables.
    QTest::newRow("terminal, wide characters")
        << true << QStringList() << false << QString::fromUtf8("⭐︐︙𗀀磁").repeated(3) << 0 << false
        << true;
    for (int signal : {SIGINT, SIGTERM, SIGQUIT})
        QTest::newRow(qPrintable(QString("terminal, ended by signal %1").arg(signal)))
            << true << QStringList() << false << "" << signal << false << true;
    // Nothing reaches the terminal; the scan must end all the same.
    QTest::newRow("terminal, output suspended") << true << QStringList() << false << "" << 0 << true << false;
}

// A walk slowed down under strace: the progress line on a terminal, cleared
// before the report, before an error line and before the end by a signal,
// never elsewhere; no wider than the terminal (60 columns).
void ScannerCliTest::progressLine()
{
    QFETCH(bool, terminal);
    QFETCH(QStringList, options);
    QFETCH(bool, locked);
    QFETCH(QString, levelName);
    QFETCH(int, signal);
    QFETCH(bool, suspended);
    QFETCH(bool, shown);
    if (slowly({}).isEmpty())
        QSKIP("strace cannot trace here");
    if (locked && ::geteuid() != 0)
        QSKIP("needs root to run as nobody");
    Scratch scratch;
    QVERIFY(::chmod(scratch.path().toLocal8Bit().constData(), 0755) == 0);
    // Ten levels, two reads each: two seconds.
    QString levels = "t";
    for (int level = 1; level <= 9; ++level)
        levels += "/" + levelName + QString::number(level);
    QVERIFY(buildTree(scratch.path(), "f " + levels + "/x 5000; f t/" + levelName + "1/y 3000"));
    const QString lockedFolder = scratch.path() + "/" + levels.section('/', 0, 8) + "/locked";
    if (locked) {
        QVERIFY(QDir().mkpath(lockedFolder));
        QVERIFY(::chmod(lockedFolder.toLocal8Bit().constData(), 0) == 0);
    }
    // Where nobody can run it.
    const QString program = scratch.path() + "/quarn";
    QVERIFY(QFile::copy(QUARN_PROGRAM, program));
    const QStringList arguments = options + QStringList{"-t", "1", "-j", "-n", "4", scratch.path() + "/t"};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    const Run plain = quarn(arguments, {}, environment);

    QStringList command = QStringList{program} + arguments;
    if (locked)
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    command = slowly(command);
    const QString strace = command.takeFirst();
    TerminalRun how;
    how.signal = signal;
    how.suspended = suspended;
    Run run = terminal ? runOnTerminal(strace, command, STDERR_FILENO, environment, how)
                       : runProgram(strace, command, {}, environment);
    // What strace itself may say about a signal is not the program's.
    static const QRegularExpression straceLine("[^\r\n]*strace: [^\n]*\n");
    run.err = QString::fromUtf8(run.err).remove(straceLine).toUtf8();
    QCOMPARE(run.exitCode, signal ? 128 + signal : locked ? 1 : 0);
    QCOMPARE(run.out, signal ? QByteArray() : plain.out);
    QCOMPARE(run.err.contains(" entries, "), shown);
    for (const QByteArray &line : run.err.split('\n'))
        for (const QByteArray &drawn : line.split('\r')) {
            int columns = 0;
            for (const uint c : QString::fromUtf8(drawn).toUcs4())
                columns += columnsOf(c);
            QVERIFY2(!drawn.contains(" entries, ") || columns < 60, drawn.constData());
        }
    const QByteArray error = "quarn: cannot read '" + lockedFolder.toLocal8Bit() + "': Permission denied";
    if (locked) {
        // Drawn before the error, cleared for it, drawn again, cleared at the end.
        const qsizetype at = run.err.indexOf(error);
        QVERIFY(at > run.err.indexOf(" entries, "));
        QVERIFY(run.err.indexOf(" entries, ", at) > at);
        QCOMPARE(screenLines(run.err), (QList<QByteArray>{error, ""}));
    } else {
        QCOMPARE(screenLines(run.err), QList<QByteArray>{""});
    }
}

void ScannerCliTest::mountPoints_data()
{
    QTest::addColumn<QStringList>(
        "mounts"); // mount's arguments, one mount each, in order; "@": the scratch folder
    QTest::addColumn<bool>("oneFileSystem");
    QTest::addColumn<QString>("target");   // below the scratch folder; "" for the scratch folder itself
    QTest::addColumn<QString>("expected"); // report outline, T for the scratch folder
    const QString tmpfs = "-t tmpfs -o size=4m tmpfs @/m";
    QTest::newRow("kernel file system counts as empty") << QStringList{"-t proc proc @/m"} << false << ""
                                                        << "T(data(x,b),m)";
    QTest::newRow("other file system is entered") << QStringList{tmpfs} << false << ""
                                                  << "T(m(inner),data(x,b))";
    QTest::newRow("-x leaves other file systems out") << QStringList{tmpfs} << true << ""
                                                      << "T(data(x,b))";
    QTest::newRow("-x leaves out a file mounted from another file system")
        << QStringList{tmpfs, "--bind @/m/inner @/data/x"} << true << ""
        << "T(data(b))";
    QTest::newRow("folder mounted inside itself counts once, is not shown again")
        << QStringList{"--bind @ @/m"} << false << ""
        << "T(data(x,b))";
    // The parent bound inside the target shows the target again, below a
    // folder that is not a mount root: that one is left out.
    for (bool x : {false, true})
        QTest::newRow(x ? "-x, target met again below its parent bound inside it"
                        : "target met again below its parent bound inside it")
            << QStringList{"--bind @ @/data/b"} << x << "data"
            << "T/data(x,b(m))";
}

void ScannerCliTest::mountPoints()
{
    QFETCH(QStringList, mounts);
    QFETCH(bool, oneFileSystem);
    QFETCH(QString, target);
    QFETCH(QString, expected);
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "d m; d data/b; f data/x 100000"));
    Mounts mountedHere;
    for (const QString &mount : mounts) {
        if (!mountedHere.mount(QString(mount).replace("@", scratch.path()).split(' ')))
            QSKIP("cannot mount here (needs root)");
        if (mount.contains("tmpfs"))
            QVERIFY(buildTree(scratch.path(), "f m/inner 300000"));
    }

    const QString path = target.isEmpty() ? scratch.path() : scratch.path() + "/" + target;
    QStringList arguments{"-j", "-b", "-n", "6", path};
    if (oneFileSystem)
        arguments.prepend("-x");
    const Run run = quarn(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    const QJsonObject report = parseReport(run);
    QCOMPARE(outline(report).replace(scratch.path(), "T"), expected);
    // du would walk a kernel file system (a live /proc can end its walk
    // without a total): it counts the tree without that mount, and the mount
    // point adds its own allocation, as an empty folder does.
    QStringList duArguments{oneFileSystem ? "-sxB1" : "-sB1", path};
    qint64 kernelMountBytes = 0;
    if (mounts.first().startsWith("-t proc ")) {
        const QString mountPoint = scratch.path() + "/m";
        struct stat status
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(mountPoint).constData(), &status), 0);
        kernelMountBytes = qint64(status.st_blocks) * 512;
        duArguments.prepend("--exclude=" + mountPoint);
    }
    const Run du = runProgram("du", duArguments);
    QCOMPARE(du.exitCode, 0);
    QCOMPARE(sizeOf(report), du.out.split('\t').value(0).toLongLong() + kernelMountBytes);
}

void ScannerCliTest::unreadableFolder()
{
    Scratch scratch;
    QVERIFY(buildTree(scratch.path(), "f open/a 70000; f locked/secret 900000; f locked/more/x 5; f b 3000"));
    const QString locked = scratch.path() + "/locked";
    QVERIFY(::chmod(scratch.path().toLocal8Bit().constData(), 0755) == 0);
    QVERIFY(::chmod(locked.toLocal8Bit().constData(), 0) == 0);

    Scratch programFolder;
    const QString program = programForEveryone(programFolder);
    QVERIFY(!program.isEmpty());

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

    // The same folder as the target: its own size and the error, as du
    // reports it.
    const Run target = runUnprivileged(program, {"-j", "-b", locked});
    QCOMPARE(target.exitCode, 1);
    QCOMPARE(QString::fromLocal8Bit(target.err), "quarn: cannot read '" + locked + "': Permission denied\n");
    const QJsonObject alone = parseReport(target);
    QCOMPARE(alone.value("error").toString(), QString("Permission denied"));
    QCOMPARE(sizeOf(alone), duBytes(locked, false, true));
    QVERIFY(!alone.contains("children"));
}

void ScannerCliTest::refusedRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment"); // NAME=VALUE added to the run's, or empty
    QTest::addColumn<QString>("message");     // all of stderr but its last line feed
    const QString tryHelp = "\nTry 'quarn --help' for more information.";
    QTest::newRow("missing target")
        << QStringList{"-j", "/nonexistent/quarn-test"} << ""
        << "quarn: cannot access '/nonexistent/quarn-test': No such file or directory";
    QTest::newRow("missing, file as folder") << QStringList{"/etc/passwd/x"} << ""
                                             << "quarn: cannot access '/etc/passwd/x': Not a directory";
    QTest::newRow("missing target whose name forges a line")
        << QStringList{"-j", QString::fromUtf8(
                                 "/nonexistent/x\nquarn: cannot read 'y': Permission denied\n\u202Ez")}
        << ""
        << "quarn: cannot access '/nonexistent/x\\x0aquarn: cannot read 'y': Permission denied\\x0a"
           "\\xe2\\x80\\xaez': No such file or directory";
    QTest::newRow("unreadable pattern file")
        << QStringList{"-X", "/nonexistent/patterns", "."} << ""
        << "quarn: cannot read '/nonexistent/patterns': No such file or directory";
    QTest::newRow("-n 0") << QStringList{"-n", "0", "."} << ""
                          << "quarn: invalid count '0' for -n (1 to 100000000)" + tryHelp;
    QTest::newRow("--top 0") << QStringList{"--top", "0", "."} << ""
                             << "quarn: invalid count '0' for --top (1 to 100000000)" + tryHelp;
    QTest::newRow("count escaped") << QStringList{"--top=1\x1b[2J"} << ""
                                   << "quarn: invalid count '1\\x1b[2J' for --top (1 to 100000000)" + tryHelp;
    QTest::newRow("-n without value") << QStringList{"-n"} << ""
                                      << "quarn: option requires an argument -- 'n'" + tryHelp;
    QTest::newRow("--top without value") << QStringList{"--top"} << ""
                                         << "quarn: option '--top' requires an argument" + tryHelp;
    QTest::newRow("-t not a number") << QStringList{"-t", "many"} << ""
                                     << "quarn: invalid count 'many' for -t (1 to 1024)" + tryHelp;
    QTest::newRow("-d negative") << QStringList{"-d-1"} << ""
                                 << "quarn: invalid count '-1' for -d (0 to 4294967295)" + tryHelp;
    QTest::newRow("--max-depth not a number")
        << QStringList{"--max-depth=x"} << ""
        << "quarn: invalid count 'x' for --max-depth (0 to 4294967295)" + tryHelp;
    QTest::newRow("unknown option") << QStringList{"-jq"} << ""
                                    << "quarn: invalid option -- 'q'" + tryHelp;
    QTest::newRow("unknown long option") << QStringList{"--foo=bar"} << ""
                                         << "quarn: unrecognized option '--foo=bar'" + tryHelp;
    QTest::newRow("value given to a flag, abbreviated")
        << QStringList{"--app=yes"} << ""
        << "quarn: option '--apparent-size' doesn't allow an argument" + tryHelp;
    QTest::newRow("ambiguous abbreviation") << QStringList{"--ex", "x"} << ""
                                            << "quarn: option '--ex' is ambiguous; possibilities: "
                                               "'--exclude' '--exclude-from' '--exclude-caches'" +
                                                   tryHelp;
    QTest::newRow("unknown colour") << QStringList{"--color=red"} << ""
                                    << "quarn: invalid argument 'red' for '--color' (auto, always or never)" +
                                           tryHelp;
    QTest::newRow("several paths, each missing")
        << QStringList{"-j", "/nonexistent/a", "/nonexistent/b"} << ""
        << "quarn: cannot access '/nonexistent/a': No such file or directory\n"
           "quarn: cannot access '/nonexistent/b': No such file or directory";
    QTest::newRow("POSIXLY_CORRECT: options end at the path")
        << QStringList{"/nonexistent/x", "-j"} << "POSIXLY_CORRECT=1"
        << "quarn: cannot access '/nonexistent/x': No such file or directory\n"
           "quarn: cannot access '-j': No such file or directory";
    QTest::newRow("walk option with --input")
        << QStringList{"-f", "x.json", "--exclude=a"} << ""
        << "quarn: option '--exclude' cannot be used with --input" + tryHelp;
    QTest::newRow("-L with -f") << QStringList{"-L", "-f", "x.json"} << ""
                                << "quarn: option '-L' cannot be used with --input" + tryHelp;
    QTest::newRow("-x with -f, grouped") << QStringList{"-xf", "x.json"} << ""
                                         << "quarn: option '-x' cannot be used with --input" + tryHelp;
    QTest::newRow("PATH with --input") << QStringList{"--input=x.json", "."} << ""
                                       << "quarn: extra operand '.': --input reads no PATH" + tryHelp;
    QTest::newRow("report option with --output")
        << QStringList{"-o", "-", "-n", "5", "."} << ""
        << "quarn: option '-n' cannot be used with --output" + tryHelp;
    QTest::newRow("--inodes with --output")
        << QStringList{"--ino", "-o", "-", "."} << ""
        << "quarn: option '--inodes' cannot be used with --output" + tryHelp;
    QTest::newRow("--json with --output") << QStringList{"--output=-", "--json", "."} << ""
                                          << "quarn: option '--json' cannot be used with --output" + tryHelp;
    QTest::newRow("--output with two paths")
        << QStringList{"-o", "-", ".", ".."} << ""
        << "quarn: extra operand '..': --output writes one PATH" + tryHelp;
    QTest::newRow("--input and --output with --diff")
        << QStringList{"--diff=x.json", "-f", "x.json", "-o", "y.json"} << ""
        << "quarn: options '--input' and '--output' cannot be used together with --diff" + tryHelp;
    QTest::newRow("missing export") << QStringList{"-f", "/nonexistent/x.json"} << ""
                                    << "quarn: cannot read '/nonexistent/x.json': No such file or directory";
}

void ScannerCliTest::refusedRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(QString, message);
    QProcessEnvironment runEnvironment = QProcessEnvironment::systemEnvironment();
    runEnvironment.remove("POSIXLY_CORRECT");
    if (!environment.isEmpty())
        runEnvironment.insert(environment.section('=', 0, 0), environment.section('=', 1));
    const Run run = quarn(arguments, {}, runEnvironment);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromLocal8Bit(run.err), message + "\n");
}

// Laid out as GNU programs lay it out: program (package) version, then
// copyright, licence, warranty, a blank line and the authors.
void ScannerCliTest::versionText()
{
    const Run run = quarn({"--version"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(QString::fromUtf8(run.out),
             QString("quarn (quarn-gui) " QUARN_VERSION "\n"
                     "Copyright (C) 2026 The quarn-gui developers.\n"
                     "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                     "This is free software: you are free to change and redistribute it.\n"
                     "There is NO WARRANTY, to the extent permitted by law.\n"
                     "\n"
                     "Written by The quarn-gui developers.\n"));
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

void ScannerCliTest::resourceLimits_data()
{
    QTest::addColumn<int>("resource"); // the limit the run gets
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("unprivileged"); // run as nobody: root is exempt from the process limit
    QTest::addColumn<int>("wide");          // folders w0.. below the target
    QTest::addColumn<int>("each");          // subfolders in each of them, each holding a chain
    QTest::addColumn<int>("depth");         // levels of each chain
    QTest::addColumn<int>("nameLength");
    QTest::addColumn<bool>("terminal");   // standard error a terminal: the progress line drawn
    QTest::addColumn<QString>("threads"); // -t, or empty for the default
    // Folders beyond the descriptors free, along paths longer than the
    // system accepts in one call (names of 200 bytes, 24 levels).
    QTest::newRow("64 descriptors, paths beyond the system's limit")
        << int(RLIMIT_NOFILE) << qint64(64) << false << 24 << 1 << 24 << 200 << false << "";
    // More folders ready at once than descriptors free, with every thread.
    QTest::newRow("16 descriptors, many folders")
        << int(RLIMIT_NOFILE) << qint64(16) << false << 300 << 5 << 4 << 1 << false << "";
    QTest::newRow("10 descriptors, many folders")
        << int(RLIMIT_NOFILE) << qint64(10) << false << 300 << 5 << 4 << 1 << false << "";
    // The progress line's terminal must not take the one descriptor the walk has.
    QTest::newRow("5 descriptors, on a terminal")
        << int(RLIMIT_NOFILE) << qint64(5) << false << 30 << 2 << 3 << 1 << true << "";
    // The default threads within a small address space, and no thread at
    // all beside the main one.
    QTest::newRow("64 MiB of address space")
        << int(RLIMIT_AS) << qint64(64) * 1024 * 1024 << false << 300 << 5 << 4 << 1 << false << "";
    // A path of 15 MB: the progress line must take no more memory or time
    // than the walk without it.
    QTest::newRow("64 MiB of address space, 60,000 levels of long names on a terminal")
        << int(RLIMIT_AS) << qint64(64) * 1024 * 1024 << false << 1 << 1 << 60000 << 255 << true << "";
    // Threads asked for beyond what the address space holds: they are made
    // only while the walk keeps room, and what still runs short ends the
    // run with one line, never an abort.
    QTest::newRow("16 MiB of address space")
        << int(RLIMIT_AS) << qint64(16) * 1024 * 1024 << false << 300 << 5 << 4 << 1 << false << "";
    QTest::newRow("-t 128 in 32 MiB of address space")
        << int(RLIMIT_AS) << qint64(32) * 1024 * 1024 << false << 300 << 5 << 4 << 1 << false << "128";
    QTest::newRow("-t 1024 in 256 MiB of address space")
        << int(RLIMIT_AS) << qint64(256) * 1024 * 1024 << false << 300 << 5 << 4 << 1 << false << "1024";
    QTest::newRow("no room for a second thread")
        << int(RLIMIT_NPROC) << qint64(1) << true << 300 << 5 << 4 << 1 << false << "";
}

void ScannerCliTest::resourceLimits()
{
    QFETCH(int, resource);
    QFETCH(qint64, limit);
    QFETCH(bool, unprivileged);
    QFETCH(int, wide);
    QFETCH(int, each);
    QFETCH(int, depth);
    QFETCH(int, nameLength);
    QFETCH(bool, terminal);
    QFETCH(QString, threads);
#ifdef QUARN_SANITIZED_BUILD
    // The sanitizers' runtime needs the address space and the threads
    // (its leak checker's) that these limits take away, and a few
    // descriptors (UBSan tests memory through a pipe of its own).
    if (resource != RLIMIT_NOFILE || limit < 8)
        QSKIP("limit too tight for the sanitizers' own runtime");
#endif
    Scratch scratch;
    for (int i = 0; i < wide; ++i) {
        const QString folder = scratch.path() + "/w" + QString::number(i);
        for (int j = 0; j < each; ++j) {
            const QString sub = folder + "/s" + QString::number(j);
            QVERIFY(QDir().mkpath(sub));
            QVERIFY(buildChain(sub, depth, 5000 * (i + 1), QByteArray(nameLength, 'n')));
        }
    }
    QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 0755) == 0);
    QStringList arguments{"-j", "-b", "-n", "2", scratch.path()};
    if (!threads.isEmpty())
        arguments = QStringList{"-t", threads} + arguments;
    QString program = QUARN_PROGRAM;
    Scratch programFolder;
    if (unprivileged && ::geteuid() == 0) {
        program = programForEveryone(programFolder);
        QVERIFY(!program.isEmpty());
        const QString uid = QString::number(idleUid());
        arguments = QStringList{"--reuid=" + uid, "--regid=" + uid, "--clear-groups", program} + arguments;
        program = "setpriv";
    }
    const auto limited = [resource, limit] {
        const rlimit value{rlim_t(limit), rlim_t(limit)};
        if (resource == RLIMIT_NOFILE)
            closeInheritedDescriptors();
        ::setrlimit(__rlimit_resource(resource), &value);
    };
    QElapsedTimer timer;
    timer.start();
    const Run run = runProgram(program, arguments, limited);
    const qint64 elapsedMs = timer.restart();
    if (resource == RLIMIT_AS && run.exitCode == 1 && run.err == "quarn: memory exhausted\n")
        return; // ran out after all, and said so
    QCOMPARE(run.err, QByteArray());
    if (terminal) {
        TerminalRun how;
        how.childSetup = limited;
        const Run drawn =
            runOnTerminal(program, arguments, STDERR_FILENO, QProcessEnvironment::systemEnvironment(), how);
        const qint64 drawnMs = timer.elapsed();
        QCOMPARE(drawn.exitCode, 0);
        QCOMPARE(drawn.out, run.out);
        QCOMPARE(screenLines(drawn.err), QList<QByteArray>{""});
        QVERIFY2(drawnMs <= elapsedMs * 11 / 10 + 500,
                 qPrintable(QString("%1 ms on a terminal, %2 ms without").arg(drawnMs).arg(elapsedMs)));
    }
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

void ScannerCliTest::exportReadBack_data()
{
    QTest::addColumn<QString>("layout"); // below t, the target
    QTest::addColumn<QString>("locked"); // a folder below t made unreadable, the walk run as nobody; or empty
    QTest::addColumn<bool>("sameReport");     // the walk's first place of each hard link is the document's
    QTest::addColumn<QStringList>("options"); // of the walk, and of du; "tmpfs": one mounted at t/m
    const QStringList none;
    QTest::newRow("files and folders") << "f a 5000; f sub/b 70000; f sub/deep/c 3; d empty"
                                       << "" << true << none;
    QTest::newRow("sparse files") << "s big 50000000; s sub/huge 3000000000; f sub/small 10"
                                  << "" << true << none;
    QTest::newRow("hard links in one folder") << "f a 20000; h b a; h c a; f d 10"
                                              << "" << true << none;
    QTest::newRow("hard links across folders")
        << "f one/a 30000; h two/b one/a; h two/deep/c one/a; f two/d 5000"
        << "" << true << none;
    QTest::newRow("symbolic links") << "f real 9000; l tofile real; l dangling nowhere"
                                    << "" << true << none;
    QTest::newRow("folder names of 128 bytes and more")
        << QString("f %1/a 5000; f %2/b 3000").arg(QString(128, 'n'), QString(255, 'm')) << "" << true
        << none;
    QTest::newRow("unreadable folder") << "f open/a 70000; f locked/secret 900000; f b 3000"
                                       << "locked" << true << none;
    QTest::newRow("unreadable target") << "f a 7000"
                                       << "." << true << none;
    QTest::newRow("left out by patterns") << "f a.o 70000; f sub/b.o 9000; f sub/c 3000; f o/d 5000"
                                          << "" << true << QStringList{"--exclude=*.o", "--exclude=o"};
    QTest::newRow("-x: another file system") << "f a 70000; d m"
                                             << "" << true << QStringList{"-x", "tmpfs"};
    QTest::newRow("another file system entered") << "f a 70000; d m"
                                                 << "" << true << QStringList{"tmpfs"};
}

// quarn -o read back by quarn -f, by ncdu (whose export quarn reads back)
// and by gdu; quarn -f also reads ncdu's and gdu's own exports of the tree.
void ScannerCliTest::exportReadBack()
{
    QFETCH(QString, layout);
    QFETCH(QString, locked);
    QFETCH(bool, sameReport);
    QFETCH(QStringList, options);
    Scratch scratch;
    const QString tree = scratch.path() + "/t";
    QVERIFY(buildTree(tree, layout));
    Mounts mountedHere;
    const bool tmpfs = options.removeAll("tmpfs") > 0;
    if (tmpfs) {
        if (!mountedHere.mount({"-t", "tmpfs", "tmpfs", tree + "/m"}))
            QSKIP("cannot mount here (needs root)");
        QVERIFY(buildTree(tree, "f m/inner 300000"));
    }
    // Names the export must carry byte for byte: a line end, a byte that is not UTF-8.
    for (const QByteArray &name : {QByteArray("two\nlines"), QByteArray("caf\xE9")}) {
        const int fd = ::open((tree.toLocal8Bit() + "/" + name).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QVERIFY(::write(fd, name.constData(), size_t(name.size())) == name.size());
        ::close(fd);
    }
    QString program = QUARN_PROGRAM;
    Scratch programFolder;
    if (!locked.isEmpty()) {
        program = programForEveryone(programFolder);
        QVERIFY(!program.isEmpty());
        QVERIFY(::chmod(scratch.path().toLocal8Bit().constData(), 0755) == 0);
        QVERIFY(::chmod((tree + "/" + locked).toLocal8Bit().constData(), 0) == 0);
    }
    const auto walk = [&](const QStringList &arguments) {
        return locked.isEmpty() ? runProgram(program, arguments) : runUnprivileged(program, arguments);
    };
    const QString exported = scratch.path() + "/quarn.json";
    const QString again = scratch.path() + "/again.json";
    const Run exportRun = walk(options + QStringList{"-o", "-", tree});
    QCOMPARE(exportRun.exitCode, locked.isEmpty() ? 0 : 1);
    QFile file(exported);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(exportRun.out) == exportRun.out.size());
    file.close();
    const Run ncdu = runProgram("ncdu", {"-f", exported, "-o", again});
    QVERIFY2(ncdu.exitCode == 0, ncdu.err.constData());
    // Read and written again, byte for byte.
    const Run copied = quarn({"-f", exported, "-o", "-"});
    QCOMPARE(copied.exitCode, exportRun.exitCode);
    QCOMPARE(copied.out, exportRun.out);

    for (bool apparent : {false, true}) {
        const QStringList report{"-j", "-b", "-n", "1000"};
        const QStringList mode = apparent ? QStringList{"--apparent-size"} : QStringList();
        const QStringList duArguments = QStringList{"-s", "-B1"} + mode + options + QStringList{tree};
        const Run duRun =
            locked.isEmpty() ? runProgram("du", duArguments) : runUnprivileged("du", duArguments);
        const qint64 du = duRun.out.split('\t').value(0).toLongLong();
        const Run scanned = walk(mode + report + options + QStringList{tree});
        const Run imported = quarn(mode + report + QStringList{"-f", exported});
        QCOMPARE(imported.exitCode, scanned.exitCode);
        QCOMPARE(sizeOf(parseReport(imported)), du);
        if (sameReport)
            QCOMPARE(imported.out, scanned.out);
        // ncdu keeps that a folder was not read, not why.
        QCOMPARE(quarn(mode + report + QStringList{"-f", again}).out,
                 QByteArray(imported.out).replace("Permission denied", "read error"));
        // gdu counts every folder as 4,096 bytes, whatever the export says;
        // a folder of tmpfs takes none.
        if (tmpfs)
            continue;
        const Run gdu = runProgram("gdu", QStringList{"-f", exported, "-n", "-p", "-c", "-s", "--no-prefix"} +
                                              (apparent ? QStringList{"-a"} : QStringList()));
        QCOMPARE(gdu.out.simplified().split(' ').value(0).toLongLong(), du);
    }
    if (!locked.isEmpty() || !options.isEmpty())
        return; // ncdu and gdu read as root, and without the walk's options: another tree
    const QString ncduOwn = scratch.path() + "/ncdu.json";
    const QString gduOwn = scratch.path() + "/gdu.json";
    QCOMPARE(runProgram("ncdu", {"-0", "-o", ncduOwn, tree}).exitCode, 0);
    QCOMPARE(runProgram("gdu", {"-n", "-p", "-c", "-o", gduOwn, tree}).exitCode, 0);
    const QStringList report{"-j", "-b", "-n", "1000"};
    const Run scanned = quarn(report + QStringList{tree});
    const Run fromNcdu = quarn(report + QStringList{"-f", ncduOwn});
    QCOMPARE(fromNcdu.exitCode, 0);
    if (sameReport)
        QCOMPARE(fromNcdu.out, scanned.out);
    QCOMPARE(sizeOf(parseReport(fromNcdu)), duBytes(tree, false));
    // gdu writes no sizes of folders, and its names as UTF-8: the same entries.
    const Run fromGdu = quarn(report + QStringList{"-f", gduOwn});
    QCOMPARE(fromGdu.exitCode, 0);
    if (layout.contains(" h ") || layout.startsWith("h "))
        return; // which name of a hard-linked file is shown depends on the writer's order
    QStringList scannedNames, gduNames;
    forEachNode(parseReport(scanned),
                [&](const QJsonObject &node) { scannedNames << node.value("name").toString(); });
    forEachNode(parseReport(fromGdu),
                [&](const QJsonObject &node) { gduNames << node.value("name").toString(); });
    scannedNames.sort();
    gduNames.sort();
    QCOMPARE(gduNames, scannedNames);
}

void ScannerCliTest::exportReplacesFileWhole_data()
{
    QTest::addColumn<QString>("injection");
    QTest::addColumn<int>("status"); // -1: ended by a signal
    QTest::addColumn<QString>(
        "message"); // all of stderr: {F} the file as named, {D} its folder, {M} a full tmpfs
    QTest::addColumn<bool>("replaced"); // the file holds the new export; else its old bytes
    QTest::newRow("no space beside the file")
        << "full" << 1 << "quarn: cannot write '{F}': No space left on device\n"
        << false;
    QTest::newRow("no space in TMPDIR")
        << "full TMPDIR" << 1 << "quarn: cannot write a temporary file in '{M}': No space left on device\n"
        << false;
    QTest::newRow("TMPDIR missing")
        << "no TMPDIR" << 1
        << "quarn: cannot make a temporary file in '/nonexistent': No such file or directory\n"
        << false;
    // Where the plain walk succeeds, with a temporary for each of 8 threads asked for.
    QTest::newRow("5 descriptors, -t 8") << "5 descriptors" << 0 << "" << true;
    // No descriptor left when the temporary beside the file is made.
    QTest::newRow("too many open files")
        << "EMFILE" << 2
        << "quarn: cannot create a file in '{D}' to replace '{F}': Too many open "
           "files\n"
        << false;
    QTest::newRow("SIGTERM during the walk") << "SIGTERM" << -1 << "" << false;
    QTest::newRow("SIGTERM, a file system without unnamed files") << "SIGTERM, named" << -1 << "" << false;
    QTest::newRow("SIGINT, the progress line on a terminal")
        << "SIGINT, terminal" << 128 + SIGINT << "" << false;
    QTest::newRow("another user's link in a sticky world-writable folder")
        << "protected link" << 2
        << "quarn: cannot write '{F}': not following another user's symbolic link in a sticky world-writable "
           "folder\n"
        << false;
    QTest::newRow("own link: its target replaced, the link kept") << "own link" << 0 << "" << true;
    // Written through, never renamed over: a node of the null device in place of the file.
    QTest::newRow("a device") << "device" << 0 << "" << false;
    QTest::newRow("folder not writable, the file writable")
        << "locked folder" << 2
        << "quarn: cannot create a file in '{D}' to replace '{F}': Permission denied\n"
        << false;
}

// quarn -o FILE over an earlier export: replaced whole when the walk's export
// is complete, else left byte for byte, its mode kept, and no temporary
// left in its folder or in TMPDIR.
void ScannerCliTest::exportReplacesFileWhole()
{
    QFETCH(QString, injection);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(bool, replaced);
    const bool root = ::geteuid() == 0;
    if (!root && (injection.startsWith("full") || injection.endsWith("link") ||
                  injection == "locked folder" || injection == "device"))
        QSKIP("needs root (to mount, to own links as another user, to run as nobody)");
    const bool traced = injection.startsWith("SIG") || injection == "EMFILE";
    if (traced && slowly({}).isEmpty())
        QSKIP("strace cannot trace here");
    Scratch scratch;
    QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 0755) == 0);
    // 1,000 files of long names: an export larger than the full tmpfs holds.
    const QString tree = scratch.path() + "/t";
    QString layout = "f a 5000;";
    for (int i = 0; i < 1000; ++i)
        layout += QString("f sub/%1%2 %3;").arg(QString(100, 'n')).arg(i).arg(i);
    QVERIFY(buildTree(tree, layout));
    const QString folder = scratch.path() + "/out";
    const QString full = scratch.path() + "/m";
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(full));
    Mounts mounts;
    if (injection == "full")
        QVERIFY(mounts.mount({"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder}));
    if (injection == "full TMPDIR")
        QVERIFY(mounts.mount({"-t", "tmpfs", "-o", "size=64k", "tmpfs", full}));
    // The old export, and where -o names it: itself, or a link to it elsewhere.
    const bool link = injection.endsWith("link");
    const QString file = folder + "/keep.json";
    const QString kept = link ? scratch.path() + "/elsewhere/keep.json" : file;
    const QByteArray old = "[1,2,{\"progname\":\"old\"},[{\"name\":\"old\"}]]\n";
    QVERIFY(QDir().mkpath(QFileInfo(kept).path()));
    QFile oldFile(kept);
    QVERIFY(oldFile.open(QIODevice::WriteOnly) && oldFile.write(old) == old.size());
    oldFile.close();
    QVERIFY(::chmod(QFile::encodeName(kept).constData(), 0640) == 0);
    const bool device = injection == "device";
    if (device)
        QVERIFY(::unlink(QFile::encodeName(file).constData()) == 0 &&
                ::mknod(QFile::encodeName(file).constData(), S_IFCHR | 0640, makedev(1, 3)) == 0);
    if (link) {
        QVERIFY(::symlink(QFile::encodeName(kept).constData(), QFile::encodeName(file).constData()) == 0);
        if (injection == "protected link") {
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
            QVERIFY(::lchown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
        }
    }

    QStringList arguments{"-o", file, tree};
    if (injection == "5 descriptors")
        arguments = QStringList{"-t", "8"} + arguments;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (injection == "full TMPDIR")
        environment.insert("TMPDIR", full);
    if (injection == "no TMPDIR")
        environment.insert("TMPDIR", "/nonexistent");
    const int descriptors = injection.endsWith(" descriptors") ? injection.section(' ', 0, 0).toInt() : 0;
#ifdef QUARN_SANITIZED_BUILD
    // UBSan tests memory through a pipe of its own, and finds none to be had.
    if (descriptors)
        QSKIP("limit too tight for the sanitizers' own runtime");
#endif
    const auto limited = [descriptors] {
        const rlimit value{rlim_t(descriptors), rlim_t(descriptors)};
        if (descriptors) {
            closeInheritedDescriptors();
            ::setrlimit(RLIMIT_NOFILE, &value);
        }
    };
    QString program = QUARN_PROGRAM;
    Scratch programFolder;
    if (injection == "locked folder") {
        program = programForEveryone(programFolder);
        QVERIFY(!program.isEmpty());
        QVERIFY(::chown(QFile::encodeName(file).constData(), 65534, 65534) == 0);
        arguments = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments;
        program = "setpriv";
    }
    Run run;
    QTemporaryDir traceDir;
    TraceFifo traceFifo(traceDir.path() + "/trace");
    std::thread signaller;
    if (traced) {
        // The walk is stopped as it reads the folder sub, whenever that is,
        // and sent the signal as a user's kill sends it, to the process; an
        // open of the file's folder by name fails as asked.
        QVERIFY(traceFifo.isOpen());
        const bool signalled = injection.startsWith("SIG");
        const int signal = injection.startsWith("SIGTERM") ? SIGTERM : SIGINT;
        QStringList strace{
            "strace", "-f",          "-o", signalled ? traceDir.path() + "/trace" : "/dev/null",
            "-P",     tree + "/sub", "-e", "trace=openat,getdents64"};
        if (signalled) {
            strace << "-e"
                   << "inject=getdents64:signal=SIGSTOP:when=1";
            signaller = std::thread([&traceFifo, signal] {
                if (const pid_t stopped = traceFifo.stoppedThread()) {
                    ::kill(stopped, signal);
                    traceFifo.continueUntilEnd(stopped);
                }
            });
        }
        if (injection.endsWith("named")) // O_TMPFILE refused in the file's folder
            strace << "-P" << folder << "-e"
                   << "inject=openat:error=EOPNOTSUPP";
        if (injection == "EMFILE")
            strace << "-P" << folder << "-e"
                   << "inject=openat:error=EMFILE";
#ifdef QUARN_SANITIZED_BUILD
        strace << "-E"
               << "ASAN_OPTIONS=detect_leaks=0";
#endif
        const QStringList command = strace + QStringList{program} + arguments;
        if (injection.endsWith("terminal"))
            run = runOnTerminal("strace", command.mid(1), STDERR_FILENO, environment);
        else
            run = runProgram("strace", command.mid(1), {}, environment);
    } else {
        run = runProgram(program, arguments, limited, environment);
    }
    if (signaller.joinable())
        signaller.join();
    QCOMPARE(run.exitCode, status);
    QCOMPARE(
        QString::fromLocal8Bit(injection.endsWith("terminal") ? screenLines(run.err).join('\n') : run.err),
        QString(message).replace("{F}", file).replace("{D}", folder).replace("{M}", full));

    QFile written(kept);
    QVERIFY(written.open(QIODevice::ReadOnly));
    if (replaced) {
        const QStringList report{"-j", "-b", "-n", "1000"};
        QCOMPARE(quarn(report + QStringList{"-f", kept}).out, quarn(report + QStringList{tree}).out);
    } else {
        QCOMPARE(written.readAll(), device ? QByteArray() : old);
    }
    struct stat info;
    QVERIFY(::stat(QFile::encodeName(kept).constData(), &info) == 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
    QCOMPARE(S_ISCHR(info.st_mode) && info.st_rdev == makedev(1, 3), device);
    const auto listing = [](const QString &path) {
        return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    };
    QCOMPARE(listing(folder), QStringList{"keep.json"});
    QCOMPARE(listing(QFileInfo(kept).path()), QStringList{"keep.json"});
    QCOMPARE(listing(full), QStringList());
    QCOMPARE(QFileInfo(file).isSymLink(), link);
}

void ScannerCliTest::exportReportsAsWalk_data()
{
    QTest::addColumn<QString>("locked");     // "FOLDER MODE": a folder below the target given that mode
                                             // (octal), the walks made as nobody; or empty
    QTest::addColumn<QStringList>("report"); // options of the walk and of its export's report
    QTest::addColumn<int>("status");         // of both
    QTest::newRow("-s -c") << "" << QStringList{"-s", "-c"} << 0;
    QTest::newRow("--inodes") << "" << QStringList{"--inodes"} << 0;
    QTest::newRow("-d 1 -j") << "" << QStringList{"-d", "1", "-j"} << 0;
    QTest::newRow("-b --apparent-size") << "" << QStringList{"-b", "--apparent-size"} << 0;
    QTest::newRow("-n 4 -d 2 -j --inodes -c")
        << "" << QStringList{"-n", "4", "-d", "2", "-j", "--inodes", "-c"} << 0;
    QTest::newRow("-s -c -j -b --apparent-size")
        << "" << QStringList{"-s", "-c", "-j", "-b", "--apparent-size"} << 0;
    QTest::newRow("unreadable folder, marked with the walk's reason")
        << "sub/deep 0" << QStringList{"-j", "-b"} << 1;
    QTest::newRow("unreadable folder beyond the report: the status alone")
        << "sub/deep 0" << QStringList{"-s", "-c"} << 1;
    QTest::newRow("unreadable entries: their folder marked") << "sub 444" << QStringList{"-n", "6"} << 1;
    QTest::newRow("unreadable target, --inodes") << ". 0" << QStringList{"--inodes", "-j"} << 1;
}

// quarn OPTIONS PATH and quarn -o F PATH; quarn OPTIONS -f F: the same
// report byte for byte, and the same status.
void ScannerCliTest::exportReportsAsWalk()
{
    QFETCH(QString, locked);
    QFETCH(QStringList, report);
    QFETCH(int, status);
    Scratch scratch;
    const QString tree = scratch.path() + "/t";
    QVERIFY(buildTree(tree, "f a 5000; h a2 a; l link a; f sub/b 70000; f sub/deep/c 3; f sub/deep/d 9000; "
                            "d empty; f two/e 1; f two/f 30000"));
    QString program = QUARN_PROGRAM;
    Scratch programFolder;
    if (!locked.isEmpty()) {
        program = programForEveryone(programFolder);
        QVERIFY(!program.isEmpty());
        QVERIFY(::chmod(scratch.path().toLocal8Bit().constData(), 0755) == 0);
        const QString folder = tree + "/" + locked.section(' ', 0, 0);
        QVERIFY(::chmod(folder.toLocal8Bit().constData(),
                        mode_t(locked.section(' ', 1).toUInt(nullptr, 8))) == 0);
    }
    const auto walk = [&](const QStringList &arguments) {
        return locked.isEmpty() ? runProgram(program, arguments) : runUnprivileged(program, arguments);
    };
    const Run walked = walk(report + QStringList{tree});
    QCOMPARE(walked.exitCode, status);
    const Run exported = walk({"-o", "-", tree});
    QCOMPARE(exported.exitCode, status);
    const QString file = scratch.path() + "/t.json";
    QFile output(file);
    QVERIFY(output.open(QIODevice::WriteOnly) && output.write(exported.out) == exported.out.size());
    output.close();
    const Run imported = quarn(report + QStringList{"-f", file});
    QCOMPARE(imported.out, walked.out);
    QCOMPARE(imported.exitCode, status);
    if (status != 0)
        QVERIFY2(imported.err.startsWith("quarn: " + file.toLocal8Bit() + ": records "),
                 imported.err.constData());
}

void ScannerCliTest::badExports_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("message"); // after "quarn: FILE: "
    const QByteArray head = "[1,2,{\"progname\":\"x\"},\n";
    QTest::newRow("empty") << QByteArray() << "byte 0: unexpected end of file";
    QTest::newRow("not JSON") << QByteArray("hello") << "byte 0: expected '['";
    // FILE: the export's path.
    QTest::newRow("gzip-compressed") << QByteArray("\x1f\x8b\x08\x00", 4)
                                     << "byte 0: looks compressed; read it with 'zcat FILE | quarn -f -'";
    QTest::newRow("xz-compressed") << QByteArray("\xfd"
                                                 "7zXZ",
                                                 5)
                                   << "byte 0: looks compressed; read it with 'xzcat FILE | quarn -f -'";
    QTest::newRow("major version 2") << QByteArray("[2,0,{},[{\"name\":\"r\"}]]")
                                     << "byte 1: unsupported major version 2";
    QTest::newRow("missing comma") << head + "[{\"name\":\"r\"} {\"name\":\"a\"}]]"
                                   << "byte 37: expected ',' or ']'";
    QTest::newRow("truncated in a name") << head + "[{\"name\":\"r\"},{\"name\":\"a"
                                         << "byte 47: unexpected end of file";
    QTest::newRow("truncated after a folder") << head + "[{\"name\":\"r\"},[{\"name\":\"a\"}]"
                                              << "byte 51: unexpected end of file";
    QTest::newRow("entry without a name") << head + "[{\"name\":\"r\"},{\"asize\":1}]]"
                                          << "byte 37: entry without a name";
    QTest::newRow("size not an integer") << head + "[{\"name\":\"r\",\"asize\":1.5}]]"
                                         << "byte 45: expected an integer";
    QTest::newRow("negative size") << head + "[{\"name\":\"r\",\"dsize\":-1}]]"
                                   << "byte 44: expected a non-negative integer";
    QTest::newRow("name with a slash") << head + "[{\"name\":\"r\"},{\"name\":\"a/b\"}]]"
                                       << "byte 45: name holds a '/'";
    QTest::newRow("empty name") << head + "[{\"name\":\"r\"},{\"name\":\"\"}]]"
                                << "byte 45: empty name";
    QTest::newRow("folder named '.'") << head + "[{\"name\":\"r\"},[{\"name\":\".\"}]]]"
                                      << "byte 46: '.' cannot be an entry's name";
    QTest::newRow("file named '..' after blanks, as a crafted export puts it")
        << QByteArray("[1,2,{},[{\"name\":\"r\"},{\"name\": \t\"..\",\"dsize\":10},{\"name\":\"a\"}]]")
        << "byte 32: '..' cannot be an entry's name";
    QTest::newRow("two files of one name")
        << head + "[{\"name\":\"r\"},{\"name\":\"a\",\"dsize\":1},{\"dsize\":2,\"name\":\"a\"}]]"
        << "byte 78: name given twice in one folder";
    QByteArray wide = head + "[{\"name\":\"r\"}";
    for (int i = 0; i < 5000; ++i)
        wide += ",{\"name\":\"n" + QByteArray::number(i) + "\"}";
    wide += ",{\"name\":\"n4321\"}]]";
    QTest::newRow("a name again after 5,000 others")
        << wide
        << "byte " + QString::number(wide.lastIndexOf('"', wide.size() - 5)) +
               ": name given twice in one folder";
    QTest::newRow("a file and a folder of one name")
        << head +
               "[{\"name\":\"r\"},{\"name\":\"a\"},[{\"name\":\"b\"},{\"name\":\"a\"}],[{\"name\":\"a\"}]]]"
        << "byte 87: name given twice in one folder";
    QTest::newRow("bad escape") << head + "[{\"name\":\"r\\q\"}]]"
                                << "byte 35: invalid escape";
    QTest::newRow("raw control character") << head + "[{\"name\":\"r\tq\"}]]"
                                           << "byte 34: control character in a string";
    QTest::newRow("text after the document") << head + "[{\"name\":\"r\"}]] x"
                                             << "byte 39: expected the end of the file";
    QTest::newRow("bad value of an unknown key") << head + "[{\"name\":\"r\",\"x\":[1,{\"y\":nul}]}]]"
                                                 << "byte 51: expected a value";
}

void ScannerCliTest::badExports()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, message);
    Scratch scratch;
    const QString path = scratch.path() + "/export.json";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(document) == document.size());
    file.close();
    const QString expected = "quarn: " + path + ": " + message.replace("FILE", path) + "\n";
    const Run run = quarn({"-j", "-f", path});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromLocal8Bit(run.err), expected);
    // The same export as the earlier or the later scan of a comparison.
    const QString good = scratch.path() + "/good.json";
    QCOMPARE(quarn({"-o", good, scratch.path()}).exitCode, 0);
    for (const QStringList &arguments :
         {QStringList{"--diff=" + path, scratch.path()}, QStringList{"--diff=" + good, "-f", path}}) {
        const Run compared = quarn(arguments);
        QCOMPARE(compared.exitCode, 2);
        QCOMPARE(compared.out, QByteArray());
        QCOMPARE(QString::fromLocal8Bit(compared.err), expected);
    }
}

void ScannerCliTest::treeDiff_data()
{
    QTest::addColumn<QString>("before");  // the tree below t that is exported
    QTest::addColumn<QString>("changes"); // then made to it: buildTree's lines, "r PATH" (removed),
                                          // "m PATH MODE" (octal; the scans then run as nobody;
                                          // also in before)
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("shown"); // the entries below t shown, sorted, marked as shown; "*": any
    QTest::addColumn<QString>("line");  // the end of a line of the text comparison (blanks
                                        // simplified, TREE the target); or empty
    QTest::addColumn<int>("status");
    const QStringList none;
    QTest::newRow("unchanged tree, hard links across folders")
        << "f a 5000; h a2 a; f one/x 30000; h two/y one/x; d empty"
        << "" << none << ""
        << "+0 TREE" << 0;
    QTest::newRow("file grown") << "f a 5000; f sub/b 70000; f sub/c 9000"
                                << "f sub/b 300000" << none << "sub, sub/b"
                                << "" << 0;
    QTest::newRow("file added, file removed")
        << "f a 5000; f sub/b 70000"
        << "f sub/new 9000; r a" << none << "a (gone), sub, sub/new (new)"
        << "" << 0;
    QTest::newRow("folder removed with what it held")
        << "f a 5000; f old/x 70000; f old/deep/y 3000"
        << "r old" << none << "old (gone), old/deep (gone), old/deep/y (gone), old/x (gone)"
        << "" << 0;
    QTest::newRow("hard link made across folders") << "f one/a 30000; d two; f two/b 7000"
                                                   << "h two/c one/a" << none << "*"
                                                   << "" << 0;
    QTest::newRow("hard link's first name removed: another counts")
        << "f one/a 30000; h two/b one/a; h three/c one/a"
        << "r one/a" << none << "*"
        << "" << 0;
    QTest::newRow("folder now a file, file now a folder: one entry each")
        << "f a 5000; f sub/x 70000; f sub/y 3000; f file 9000"
        << "r sub; f sub 20000; r file; f file/z 40000" << none
        << "file, file/z (new), sub, sub/x (gone), sub/y (gone)"
        << "" << 0;
    QTest::newRow("-b: exact changes")
        << "f a 5000; f sub/b 70000"
        << "f sub/b 300000" << QStringList{"--apparent-size", "-b"} << "sub, sub/b"
        << "300000 +230000 b" << 0;
    QTest::newRow("-n 2: the largest change alone")
        << "f a 5000; f sub/b 70000"
        << "f a 9000; f sub/b 300000" << QStringList{"-n", "2"} << "sub"
        << "" << 0;
    QTest::newRow("-d 1: deeper changes counted, not shown")
        << "f sub/deep/b 70000"
        << "f sub/deep/b 300000; f sub/deep/c 10" << QStringList{"-d", "1"} << "sub"
        << "" << 0;
    QTest::newRow("--inodes") << "f a 1; f sub/b 1"
                              << "f sub/c 1; f sub/d 1; r a" << QStringList{"--inodes"}
                              << "a (gone), sub, sub/c (new), sub/d (new)"
                              << "+1 TREE" << 0;
    QTest::newRow("unreadable folder: marked, what it held not gone")
        << "f a 5000; f locked/x 70000; f locked/y 3000"
        << "m locked 0" << none << "locked [Permission denied]"
        << "" << 1;
    QTest::newRow("entries that cannot be looked at now: not gone")
        << "f a 5000; f sub/x 70000; f sub/deep/y 3000"
        << "m sub 444" << none << "sub [Permission denied]"
        << "" << 1;
    QTest::newRow("folder the earlier scan could not read: marked, what it held not new")
        << "f a 5000; f locked/x 70000; f locked/deep/y 3000; m locked 0"
        << "m locked 755" << none << "locked [Permission denied], locked/deep, locked/deep/y, locked/x"
        << "" << 1;
}

// quarn --diff=OLD PATH against du's sizes before and after the changes;
// -o NEW in the same walk, and --diff=OLD -f NEW, compare alike.
void ScannerCliTest::treeDiff()
{
    QFETCH(QString, before);
    QFETCH(QString, changes);
    QFETCH(QStringList, options);
    QFETCH(QString, shown);
    QFETCH(QString, line);
    QFETCH(int, status);
    Scratch scratch;
    const QString tree = scratch.path() + "/t";
    const QString old = scratch.path() + "/old.json";
    const auto apply = [&](const QString &lines) {
        for (const QString &change : lines.split(';', Qt::SkipEmptyParts)) {
            const QStringList word = change.trimmed().split(' ');
            if (word.value(0) == "r")
                QCOMPARE(runProgram("rm", {"-rf", tree + "/" + word.value(1)}).exitCode, 0);
            else if (word.value(0) == "m")
                QVERIFY(::chmod((tree + "/" + word.value(1)).toLocal8Bit().constData(),
                                mode_t(word.value(2).toUInt(nullptr, 8))) == 0);
            else
                QVERIFY(buildTree(tree, change));
        }
    };
    QVERIFY(QDir().mkpath(tree));
    apply(before);
    if (QTest::currentTestFailed())
        return;
    const bool locked = (before + changes).contains("m ");
    QString program = QUARN_PROGRAM;
    Scratch programFolder;
    if (locked) {
        program = programForEveryone(programFolder);
        QVERIFY(!program.isEmpty());
        QVERIFY(::chmod(scratch.path().toLocal8Bit().constData(), 0755) == 0);
    }
    const auto walk = [&](const QString &name, const QStringList &arguments) {
        return locked ? runUnprivileged(name, arguments) : runProgram(name, arguments);
    };
    const Run exported = walk(program, {"-o", "-", tree});
    QCOMPARE(exported.exitCode, before.contains("m ") ? 1 : 0);
    QFile oldFile(old);
    QVERIFY(oldFile.open(QIODevice::WriteOnly) && oldFile.write(exported.out) == exported.out.size());
    oldFile.close();
    QStringList measure;
    for (const char *option : {"--apparent-size", "--inodes"})
        if (options.contains(option))
            measure << option;
    const auto duSizes = [&] {
        QMap<QString, qint64> sizes;
        for (const QByteArray &duLine :
             walk("du", QStringList{"-a", "-B1"} + measure + QStringList{tree}).out.split('\n'))
            if (!duLine.isEmpty())
                sizes.insert(QString::fromLocal8Bit(duLine.mid(duLine.indexOf('\t') + 1)),
                             duLine.left(duLine.indexOf('\t')).toLongLong());
        return sizes;
    };
    const QMap<QString, qint64> duBefore = duSizes();
    apply(changes);
    if (QTest::currentTestFailed())
        return;
    const QMap<QString, qint64> duAfter = duSizes();

    const Run json = walk(program, QStringList{"--diff=" + old, "-j", "-b"} + options + QStringList{tree});
    QCOMPARE(json.exitCode, status);
    QStringList names;
    int entries = 0;
    forEachNode(parseReport(json), [&](const QJsonObject &node) {
        ++entries;
        const QString name = node.value("name").toString();
        const qint64 size = node.value("size").toInteger(), was = node.value("old").toInteger();
        QVERIFY2(size == duAfter.value(name, 0), qPrintable(name));
        QVERIFY2(was == duBefore.value(name, 0), qPrintable(name));
        QCOMPARE(node.value("change").toInteger(), size - was);
        if (name == tree)
            return;
        QString shownName = name.mid(tree.size() + 1);
        if (node.value("new").toBool())
            shownName += " (new)";
        if (node.value("gone").toBool())
            shownName += " (gone)";
        if (node.contains("error"))
            shownName += " [" + node.value("error").toString() + "]";
        names << shownName;
    });
    names.sort();
    if (shown != "*")
        QCOMPARE(names.join(", "), shown);

    const Run text = walk(program, QStringList{"--diff=" + old} + options + QStringList{tree});
    QCOMPARE(text.exitCode, status);
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    QCOMPARE(lines.size(), entries);
    if (!line.isEmpty()) {
        const QByteArray end = QString(line).replace("TREE", tree).toLocal8Bit();
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [&](const QByteArray &l) { return l.simplified().endsWith(end); }),
                 text.out.constData());
    }
    if (locked)
        return;
    // The later export written in the same walk, then compared as the walk was, and with the tree.
    const QString now = scratch.path() + "/now.json";
    const Run history = quarn(QStringList{"--diff=" + old, "-o", now} + options + QStringList{tree});
    QCOMPARE(history.exitCode, status);
    QCOMPARE(history.out, text.out);
    QCOMPARE(quarn(QStringList{"--diff=" + old, "-f", now} + options).out, text.out);
    const Run since = quarn({"--diff=" + now, tree});
    QCOMPARE(since.exitCode, 0);
    QVERIFY2(since.out.endsWith(" +0 " + tree.toLocal8Bit() + "\n") && since.out.count('\n') == 1,
             since.out.constData());
}

QTEST_GUILESS_MAIN(ScannerCliTest)
#include "tst_scannercli.moc"
