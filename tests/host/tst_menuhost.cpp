// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// menu-host's own behaviour, driven through a probe plug-in that reports every
// call it receives and opens windows of known content.
#include "hostrun.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString probe = QStringLiteral(PROBE_PLUGIN);

QStringList probeLines(const HostRun &run)
{
    return run.out.filter(QRegularExpression(QStringLiteral("^probe: ")));
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

class MenuHostTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void selectionReachesPlugin_data();
    void selectionReachesPlugin();
    void callsInFileManagerOrder_data();
    void callsInFileManagerOrder();
    void refusesPlugin_data();
    void refusesPlugin();
    void badUsage_data();
    void badUsage();
    void helpNamesEveryOption();
    void triggerUnknownAction();
    void triggerWithoutWindow();
    void dumpTextWindow();
    void dumpTreeWindow();
    void screenshotMatchesWindow();
    void reveal_data();
    void reveal();
    void revealUnknownPath();
    void unwritableDump();

private:
    QTemporaryDir scratch;
};

void MenuHostTest::initTestCase()
{
    QVERIFY(scratch.isValid());
    QFile text(scratch.filePath("text.so"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("not a shared object\n").repeated(20)); // longer than an ELF header
}

void MenuHostTest::selectionReachesPlugin_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("expected"); // the probe's lines about the build call

    QTest::newRow("one local path") << QStringList() << QStringList{"/tmp/a b"}
                                    << QStringList{"current /tmp", "focus /tmp/a b", "url /tmp/a b",
                                                   "desktop false"};
    QTest::newRow("urls are not percent-encoded")
        << QStringList{"--urls"} << QStringList{"/tmp/100% a b", "/var"}
        << QStringList{"current file:///tmp", "focus file:///tmp/100% a b", "url file:///tmp/100% a b",
                       "url file:///var", "desktop false"};
    QTest::newRow("desktop") << QStringList{"--desktop"} << QStringList{"/tmp"}
                             << QStringList{"current /", "focus /tmp", "url /tmp", "desktop true"};
    QTest::newRow("root's parent is root")
        << QStringList{"--urls"} << QStringList{"/"}
        << QStringList{"current file:///", "focus file:///", "url file:///", "desktop false"};
    QTest::newRow("relative paths made absolute")
        << QStringList() << QStringList{"sub/../x", "y"}
        << QStringList{"current /work-dir", "focus /work-dir/x", "url /work-dir/x", "url /work-dir/y",
                       "desktop false"};
    QTest::newRow("no selection") << QStringList() << QStringList()
                                  << QStringList{"current ", "focus ", "desktop false"};
    QTest::newRow("path after --") << QStringList() << QStringList{"--", "-odd"}
                                   << QStringList{"current /work-dir", "focus /work-dir/-odd",
                                                  "url /work-dir/-odd", "desktop false"};
}

void MenuHostTest::selectionReachesPlugin()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, expected);

    // Relative paths resolve against menu-host's working directory, the scratch
    // folder here, which the table calls /work-dir.
    const QString workDir = scratch.path();
    const HostRun run =
        runHost(options + QStringList{probe} + paths, QProcessEnvironment::systemEnvironment(), workDir);
    QCOMPARE(run.exitCode, 0);
    QStringList seen;
    for (const QString &line : probeLines(run)) {
        for (const char *prefix : {"probe: current ", "probe: focus ", "probe: url ", "probe: desktop "}) {
            if (line.startsWith(QLatin1String(prefix)))
                seen << QString(line).replace(workDir, QStringLiteral("/work-dir")).mid(7);
        }
    }
    QCOMPARE(seen, expected);
}

void MenuHostTest::callsInFileManagerOrder_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");

    const QStringList deletions{"probe: deleted text window", "probe: deleted tree window",
                                "probe: deleted no window"};
    const QStringList actions{"menu-host: action: text window", "menu-host: action: tree window",
                              "menu-host: action: no window", "menu-host: buildNormalMenu returned true"};
    QTest::newRow("correct spelling preferred")
        << probe << QStringList()
        << QStringList{"probe: dfm_extension_initialize", "probe: initialize"} + actions + deletions +
               QStringList{"probe: dfm_extension_shutdown"};
    QTest::newRow("misspelt fallback")
        << QStringLiteral(PROBE_OLD_SPELLING_PLUGIN) << QStringList()
        << QStringList{"probe: dfm_extension_initiliaze", "probe: initialize"} + actions + deletions +
               QStringList{"probe: dfm_extension_shutdown"};
    QTest::newRow("no proxy") << probe << QStringList{"--no-proxy"}
                              << QStringList{"probe: dfm_extension_initialize",
                                             "menu-host: buildNormalMenu returned false",
                                             "probe: dfm_extension_shutdown"};
}

void MenuHostTest::callsInFileManagerOrder()
{
    QFETCH(QString, plugin);
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);

    const HostRun run = runHost(options + QStringList{plugin, "/tmp"});
    QCOMPARE(run.exitCode, 0);
    const QStringList calls = run.out.filter(
        QRegularExpression(QStringLiteral("^(menu-host: |probe: (dfm_extension|initialize|deleted))")));
    QCOMPARE(calls, expected);
    QCOMPARE(run.err, QStringList());
}

void MenuHostTest::refusesPlugin_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QString>("reason"); // part of the one error line

    QTest::newRow("lacks initialize")
        << QStringLiteral(LACKS_INITIALIZE_PLUGIN) << QStringLiteral("dfm_extension_initiliaze");
    QTest::newRow("lacks shutdown") << QStringLiteral(LACKS_SHUTDOWN_PLUGIN)
                                    << QStringLiteral("dfm_extension_shutdown");
    QTest::newRow("lacks menu") << QStringLiteral(LACKS_MENU_PLUGIN) << QStringLiteral("dfm_extension_menu");
    QTest::newRow("missing file") << scratch.filePath("absent.so") << QStringLiteral("no such file");
    QTest::newRow("not ELF") << scratch.filePath("text.so") << QStringLiteral("invalid ELF header");
}

void MenuHostTest::refusesPlugin()
{
    QFETCH(QString, plugin);
    QFETCH(QString, reason);

    const HostRun run = runHost({plugin, "/tmp"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QStringList());
    QCOMPARE(run.err.size(), 1);
    QVERIFY2(run.err.first().startsWith(QStringLiteral("menu-host: ")), qPrintable(run.err.first()));
    QVERIFY2(run.err.first().contains(plugin), qPrintable(run.err.first()));
    QVERIFY2(run.err.first().contains(reason), qPrintable(run.err.first()));
}

void MenuHostTest::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown option") << QStringList{"--bogus", probe};
    QTest::newRow("value missing") << QStringList{probe, "/tmp", "--trigger"};
    QTest::newRow("empty value") << QStringList{"--trigger", "", probe, "/tmp"};
    QTest::newRow("dump without trigger") << QStringList{"--dump", "x.json", probe, "/tmp"};
    QTest::newRow("only --") << QStringList{"--"};
}

void MenuHostTest::badUsage()
{
    QFETCH(QStringList, arguments);

    const HostRun run = runHost(arguments);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QStringList()); // the plug-in was not even loaded
    QVERIFY(run.err.join('\n').contains(QStringLiteral("Usage: menu-host")));
}

void MenuHostTest::helpNamesEveryOption()
{
    for (const QString &flag : {QStringLiteral("-h"), QStringLiteral("--help")}) {
        const HostRun run = runHost({flag});
        QCOMPARE(run.exitCode, 0);
        const QString help = run.out.join('\n');
        for (const char *option : {"--urls", "--desktop", "--no-proxy", "--trigger", "--screenshot", "--dump",
                                   "--reveal", "PLUGIN", "PATH", "not percent-encoded"})
            QVERIFY2(help.contains(QLatin1String(option)), option);
    }
}

void MenuHostTest::triggerUnknownAction()
{
    const HostRun run = runHost({"--trigger", "nothing like it", probe, "/tmp"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY(!run.out.join('\n').contains(QStringLiteral("probe: triggered")));
    QVERIFY(run.out.contains(QStringLiteral("probe: dfm_extension_shutdown")));
}

void MenuHostTest::triggerWithoutWindow()
{
    const HostRun run = runHost({"--trigger", "no window", probe, "/tmp"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains(QStringLiteral("probe: triggered no window unchecked")));
    // The trigger runs before the host tears down and shuts the plug-in down.
    QVERIFY(run.out.indexOf(QStringLiteral("probe: triggered no window unchecked")) <
            run.out.indexOf(QStringLiteral("probe: dfm_extension_shutdown")));
}

void MenuHostTest::dumpTextWindow()
{
    const QString dump = scratch.filePath("text.json");
    const HostRun run = runHost({"--trigger", "text window", "--dump", dump, probe, "/tmp"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains(QStringLiteral("probe: window closed rejected")));

    const QJsonObject json = readJson(dump);
    QCOMPARE(json.value("class").toString(), QStringLiteral("ProbeTextWindow"));
    QCOMPARE(json.value("title").toString(), QStringLiteral("probe text"));
    QCOMPARE(json.value("size").toArray(), (QJsonArray{500, 320}));
    QCOMPARE(json.value("minimumSize").toArray(), (QJsonArray{300, 200}));
    QCOMPARE(json.value("buttons").toArray(), (QJsonArray{"Close", "Copy"}));
    QCOMPARE(json.value("text").toString(), QStringLiteral("line 1\n<b>line 2</b>"));
    const QJsonObject font = json.value("font").toObject();
    QCOMPARE(font.value("family").toString(), QStringLiteral("DejaVu Sans Mono"));
    QCOMPARE(font.value("pointSize").toInt(), 11);
    QCOMPARE(font.value("styleHint").toInt(), int(QFont::Monospace));
    QVERIFY(!json.contains("rows"));
}

void MenuHostTest::dumpTreeWindow()
{
    const QString dump = scratch.filePath("tree.json");
    const HostRun run = runHost({"--trigger", "tree window", "--dump", dump, probe, "/tmp"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains(QStringLiteral("probe: window closed rejected")));

    const QJsonObject json = readJson(dump);
    QCOMPARE(json.value("class").toString(), QStringLiteral("ProbeTreeWindow"));
    QCOMPARE(json.value("buttons").toArray(), (QJsonArray{"Close"}));
    QCOMPARE(json.value("hint").toString(), QStringLiteral("probe hint"));
    QCOMPARE(json.value("headers").toArray(), (QJsonArray{"Name", "Size", "Percent"}));
    QCOMPARE(json.value("columnWidths").toArray(), (QJsonArray{200, 80, 60}));
    QCOMPARE(json.value("sortingEnabled").toBool(), true);
    QCOMPARE(json.value("editTriggers").toInt(), 0);
    QVERIFY(!json.contains("text"));

    const QJsonArray top = json.value("rows").toArray();
    QCOMPARE(top.size(), 1);
    const QJsonObject root = top.first().toObject();
    QCOMPARE(root.value("name").toString(), QStringLiteral("probe"));
    QCOMPARE(root.value("size").toString(), QStringLiteral("10K"));
    QCOMPARE(root.value("percent").toString(), QStringLiteral("100%"));
    QCOMPARE(root.value("path").toString(), QStringLiteral("/probe"));
    QCOMPARE(root.value("expanded").toBool(), true);
    const QJsonArray children = root.value("children").toArray();
    QCOMPARE(children.size(), 63);
    QCOMPARE(children.at(0).toObject().value("path").toString(), QStringLiteral("/probe/a"));
    QCOMPARE(children.at(0).toObject().value("children").toArray(), QJsonArray());
    const QJsonObject b = children.at(1).toObject();
    QCOMPARE(b.value("expanded").toBool(), false);
    QCOMPARE(b.value("children").toArray().first().toObject().value("path").toString(),
             QStringLiteral("/probe/b/c"));
    QCOMPARE(children.last().toObject().value("name").toString(), QStringLiteral("last"));
}

void MenuHostTest::screenshotMatchesWindow()
{
    const QString shot = scratch.filePath("shot.png");
    const QString dump = scratch.filePath("shot.json");
    const HostRun run =
        runHost({"--trigger", "text window", "--screenshot", shot, "--dump", dump, probe, "/tmp"});
    QCOMPARE(run.exitCode, 0);
    QImage image(shot, "PNG");
    QVERIFY(!image.isNull());
    const QJsonArray size = readJson(dump).value("size").toArray();
    QCOMPARE(image.size() / image.devicePixelRatio(), QSize(size.at(0).toInt(), size.at(1).toInt()));
}

void MenuHostTest::reveal_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("top row") << QStringLiteral("/probe");
    QTest::newRow("below the fold") << QStringLiteral("/probe/last");
    QTest::newRow("under a collapsed row") << QStringLiteral("/probe/b/c");
}

void MenuHostTest::reveal()
{
    QFETCH(QString, path);

    const HostRun run = runHost({"--trigger", "tree window", "--reveal", path, probe, "/tmp"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.filter(QStringLiteral("probe: revealed")), QStringList{"probe: revealed " + path});
    QVERIFY(run.out.contains(QStringLiteral("probe: window closed accepted")));
}

void MenuHostTest::revealUnknownPath()
{
    const HostRun run = runHost({"--trigger", "tree window", "--reveal", "/probe/none", probe, "/tmp"});
    QCOMPARE(run.exitCode, 4);
    const QStringList errors = run.hostErrors();
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().contains(QStringLiteral("/probe/none")));
    QVERIFY(run.out.filter(QStringLiteral("probe: revealed")).isEmpty());
    QVERIFY(run.out.contains(QStringLiteral("probe: window closed rejected")));
}

void MenuHostTest::unwritableDump()
{
    const HostRun run = runHost(
        {"--trigger", "text window", "--dump", scratch.filePath("no/such/dir/d.json"), probe, "/tmp"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.hostErrors().size(), 1);
    QVERIFY(run.out.contains(QStringLiteral("probe: window closed rejected")));
}

QTEST_GUILESS_MAIN(MenuHostTest)
#include "tst_menuhost.moc"
