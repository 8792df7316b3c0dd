// The extension as the file manager sees it: loaded through menu-host, and
// its menu entry point called in-process.
#include "hostrun.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>

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
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tool = dir.filePath("fake-quarn");
    QFile script(tool);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"plain report for $4\"\necho 'second line'\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUARN_TEST_QUARN"), tool);
    const QString dump = dir.filePath("d.json");
    const HostRun run =
        runHost({"--trigger", actionText, "--dump", dump, QStringLiteral(QUARN_GUI_TESTSEAM_PLUGIN), "/tmp"},
                environment);
    QCOMPARE(run.exitCode, 0);

    QFile file(dump);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("class").toString(), QStringLiteral("OutputDialog"));
    QCOMPARE(json.value("title").toString(), actionText);
    QCOMPARE(json.value("text").toString(), QStringLiteral("plain report for /tmp\nsecond line\n"));
}

QTEST_GUILESS_MAIN(ExtensionLoadingTest)
#include "tst_extensionloading.moc"
