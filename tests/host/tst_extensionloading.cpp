// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The extension as the file manager sees it: loaded through menu-host, and
// its menu entry point called in-process.
#include "fakeprogram.h"
#include "hostrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>
#include <unistd.h>

namespace {

const QString plugin = QStringLiteral(QUARN_GUI_PLUGIN);
const QString actionText = QStringLiteral("磁盘使用统计");

} // namespace

class ExtensionLoadingTest : public QObject
{
    Q_OBJECT

private slots:
    void menuForSelection_data();
    void menuForSelection();
    void menuEntryPointReturnsOneObject();
    void triggerUnknownAction();
    void textWindowEndToEnd();
    void shippedPluginRunsItsFixedPaths();
};

void ExtensionLoadingTest::menuForSelection_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("addsAction");

    QTest::newRow("one path") << QStringList() << QStringList{"/tmp"} << true;
    QTest::newRow("one path on the desktop") << QStringList{"--desktop"} << QStringList{"/tmp"} << true;
    QTest::newRow("one path as URL") << QStringList{"--urls"} << QStringList{"/tmp"} << true;
    QTest::newRow("one path with blanks") << QStringList() << QStringList{"/tmp/a b"} << true;
    QTest::newRow("no path") << QStringList() << QStringList() << false;
    QTest::newRow("two paths") << QStringList() << QStringList{"/tmp", "/var"} << false;
    QTest::newRow("three paths") << QStringList{"--urls"} << QStringList{"/tmp", "/var", "/usr"} << false;
    QTest::newRow("no proxy") << QStringList{"--no-proxy"} << QStringList{"/tmp"} << false;
}

void ExtensionLoadingTest::menuForSelection()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, paths);
    QFETCH(bool, addsAction);

    const HostRun run = runHost(options + QStringList{plugin} + paths);
    QCOMPARE(run.exitCode, 0);
    QStringList expected;
    if (addsAction)
        expected << QStringLiteral("menu-host: action: ") + actionText;
    expected << QStringLiteral("menu-host: buildNormalMenu returned true");
    QCOMPARE(run.hostLines(), expected);
    QCOMPARE(run.err, QStringList());
}

void ExtensionLoadingTest::menuEntryPointReturnsOneObject()
{
    void *handle = dlopen(QFile::encodeName(plugin).constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(handle, dlerror());
    using MenuFunc = void *(*)();
    auto menu = reinterpret_cast<MenuFunc>(dlsym(handle, "dfm_extension_menu"));
    QVERIFY(menu);
    void *first = menu();
    QVERIFY(first);
    QCOMPARE(menu(), first);
    dlclose(handle);
}

void ExtensionLoadingTest::triggerUnknownAction()
{
    const HostRun run = runHost({"--trigger", "不存在", plugin, "/tmp"});
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.err.size(), 1);
}

void ExtensionLoadingTest::textWindowEndToEnd()
{
    const FakeProgram tool("echo \"plain report for $4\"\necho 'second line'\n");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUARN_TEST_QUARN"), tool.program());
    const QString dump = tool.filePath("d.json");
    const HostRun run = runHost(
        {"--trigger", actionText, "--dump", dump, QStringLiteral(TESTSEAM_PLUGIN), "/tmp"}, environment);
    QCOMPARE(run.exitCode, 0);

    QFile file(dump);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("class").toString(), QStringLiteral("OutputDialog"));
    QCOMPARE(json.value("title").toString(), actionText);
    QCOMPARE(json.value("text").toString(), QStringLiteral("plain report for /tmp\nsecond line\n"));
}

// The shipped plug-in, which has no test seam, started by menu-host in a
// private mount namespace where fake programs are bind-mounted over
// /usr/bin/quarn and /usr/bin/dde-file-manager. A path that does not exist
// gets an empty file to bind over, made in an overlay of /usr/bin whose
// writable layer is a tmpfs of the namespace: nothing changes outside it.
void ExtensionLoadingTest::shippedPluginRunsItsFixedPaths()
{
    if (::geteuid() != 0)
        QSKIP("needs root: the fixed program paths are replaced in a private mount namespace");
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--mount"), QStringLiteral("true")}) !=
        0)
        QSKIP("unshare --mount is not permitted here: the fixed program paths cannot be replaced");

    const QString quarnPath = QStringLiteral("/usr/bin/quarn");
    const QString fileManagerPath = QStringLiteral("/usr/bin/dde-file-manager");
    const bool quarnExisted = QFileInfo::exists(quarnPath);
    const bool fileManagerExisted = QFileInfo::exists(fileManagerPath);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("overlay")));
    const QByteArray report =
        R"({"name":"/data","size":"3000","children":[{"name":"/data/b","size":"2000"}]})";
    const FakeProgram quarn(FakeProgram::Reply{report});
    const FakeProgram fileManager(QByteArray(), QStringLiteral("file-manager"));
    const QString setUp = QStringLiteral(R"(set -e
overlay=$1 quarn=$2 fileManager=$3
shift 3
if [ ! -e %1 ] || [ ! -e %2 ]; then
  mount -t tmpfs quarn-test "$overlay"
  mkdir "$overlay/upper" "$overlay/work"
  mount -t overlay quarn-test -o "lowerdir=/usr/bin,upperdir=$overlay/upper,workdir=$overlay/work" /usr/bin
  [ -e %1 ] || : >%1
  [ -e %2 ] || : >%2
fi
mount --bind "$quarn" %1
mount --bind "$fileManager" %2
exec "$@"
)")
                              .arg(quarnPath, fileManagerPath);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("QUARN_TEST_QUARN"));
    environment.remove(QStringLiteral("QUARN_TEST_FILE_MANAGER"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"), setUp,
                   QStringLiteral("sh"), dir.filePath(QStringLiteral("overlay")), quarn.program(),
                   fileManager.program(), QStringLiteral(MENU_HOST), QStringLiteral("--trigger"), actionText,
                   QStringLiteral("--reveal"), QStringLiteral("/data/b"), plugin, QStringLiteral("/data")});
    QVERIFY(process.waitForFinished(30000));
    const QStringList out = splitLines(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, qPrintable(err));

    QCOMPARE(out.filter(QRegularExpression(QStringLiteral("^(?!menu-host: )"))),
             QStringList({QStringLiteral("=== 磁盘使用统计 ==="), QStringLiteral("目标路径: /data"),
                          QStringLiteral("执行命令: /usr/bin/quarn -n 13 -j /data"),
                          QStringLiteral("命令已成功启动"), QStringLiteral("命令执行完成，退出码: 0"),
                          QStringLiteral("=== 标准输出 ==="), QString::fromUtf8(report),
                          QStringLiteral("JSON 格式验证通过，使用树状视图显示"),
                          QStringLiteral("run  /usr/bin/dde-file-manager --show-item \"/data/b\"")}));
    QCOMPARE(quarn.runs(), (QList<QStringList>{{"-n", "13", "-j", "/data"}}));
    QCOMPARE(fileManager.runs(), (QList<QStringList>{{"--show-item", "/data/b"}}));

    QCOMPARE(QFileInfo::exists(quarnPath), quarnExisted);
    QCOMPARE(QFileInfo::exists(fileManagerPath), fileManagerExisted);
}

QTEST_GUILESS_MAIN(ExtensionLoadingTest)
#include "tst_extensionloading.moc"
