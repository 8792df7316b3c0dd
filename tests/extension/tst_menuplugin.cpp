// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The menu plug-in as the host sees it: what it adds to a context menu, what
// path each added action scans, and how URLs become paths.
#include "externalprogram.h"
#include "fakeprogram.h"
#include "hostmenu.h"
#include "logcapture.h"
#include "modalwindowcloser.h"
#include "quarnmenuplugin.h"

#include <dfm-extension/menu/dfmextaction.h>
#include <dfm-extension/menu/dfmextmenu.h>
#include <dfm-extension/menu/dfmextmenuproxy.h>

#include <QTest>

#include <vector>

using namespace dfmext;

namespace {

// The file manager's side: the proxy over the host's factory, and a menu
// from it.
struct Host
{
    explicit Host(bool refuse = false) : factory(new HostMenuFactory), proxy(factory)
    {
        factory->setRefusesActions(refuse);
        menu = proxy.createMenu();
    }
    HostMenuFactory *factory; // owned by proxy
    DFMExtMenuProxy proxy;
    DFMExtMenu *menu; // owned by factory

    std::list<DFMExtAction *> actions() const { return menu->actions(); }
};

std::list<std::string> toList(const QStringList &urls)
{
    std::list<std::string> result;
    for (const QString &url : urls)
        result.push_back(url.toStdString());
    return result;
}

} // namespace

class MenuPluginTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ExternalProgram::setForTests(QString(), QString()); }
    void removeScheme_data();
    void removeScheme();
    void buildNormalMenu_data();
    void buildNormalMenu();
    void nothingToBuildWith_data();
    void nothingToBuildWith();
    void hostReachesPluginThroughCallbacks();
    void eachActionScansItsOwnPath();
};

void MenuPluginTest::removeScheme_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");

    QTest::newRow("file URL") << "file:///home/user/Music"
                              << "/home/user/Music";
    QTest::newRow("host is dropped") << "smb://server/share/dir"
                                     << "/share/dir";
    QTest::newRow("escapes kept") << "file:///home/user/My%20Files"
                                  << "/home/user/My%20Files";
    QTest::newRow("root") << "file:///"
                          << "/";
    QTest::newRow("no slash after host") << "file://host"
                                         << "file://host";
    QTest::newRow("local path") << "/home/user"
                                << "/home/user";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("query and fragment kept") << "ftp://h/x?a=1#top"
                                             << "/x?a=1#top";
    QTest::newRow("letter case kept") << "FILE:///Home/User"
                                      << "/Home/User";
    QTest::newRow("first separator counts") << "a://b/c://d/e"
                                            << "/c://d/e";
    QTest::newRow("relative text without separator") << "home/user"
                                                     << "home/user";
    QTest::newRow("local path holding a URL") << "/data/http://mirror/x"
                                              << "/data/http://mirror/x";
    QTest::newRow("local path holding a bare separator") << "/srv/a://b"
                                                         << "/srv/a://b";
    QTest::newRow("local path with blanks and CJK") << "/home/用户/My Music"
                                                    << "/home/用户/My Music";
}

void MenuPluginTest::removeScheme()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QuarnGui::QuarnMenuPlugin plugin;
    QCOMPARE(QString::fromStdString(plugin.removeScheme(url.toStdString())), expected);
}

void MenuPluginTest::buildNormalMenu_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("currentUrl");
    QTest::addColumn<QString>("focusUrl");
    QTest::addColumn<bool>("onDesktop");
    QTest::addColumn<bool>("expectAction");

    QTest::newRow("one local path") << QStringList{"/home/user/Music"} << "/home/user"
                                    << "/home/user/Music" << false << true;
    QTest::newRow("one URL on the desktop")
        << QStringList{"file:///home/user/Desktop/a.iso"} << "file:///home/user/Desktop"
        << "file:///home/user/Desktop/a.iso" << true << true;
    QTest::newRow("one item, unrelated other arguments") << QStringList{"/srv"} << ""
                                                         << "/elsewhere" << true << true;
    QTest::newRow("nothing selected") << QStringList() << "/home/user"
                                      << "" << false << false;
    QTest::newRow("two selected") << QStringList{"/tmp", "/var"} << "/"
                                  << "/tmp" << false << false;
    QTest::newRow("three selected") << QStringList{"/a", "/b", "/c"} << "/"
                                    << "/a" << true << false;
}

void MenuPluginTest::buildNormalMenu()
{
    QFETCH(QStringList, selection);
    QFETCH(QString, currentUrl);
    QFETCH(QString, focusUrl);
    QFETCH(bool, onDesktop);
    QFETCH(bool, expectAction);

    QuarnGui::QuarnMenuPlugin plugin;
    Host host;
    plugin.initialize(&host.proxy);

    QVERIFY(plugin.buildNormalMenu(host.menu, currentUrl.toStdString(), focusUrl.toStdString(),
                                   toList(selection), onDesktop));

    if (!expectAction) {
        QVERIFY(host.actions().empty());
        QCOMPARE(host.factory->actionRequests(), 0);
        return;
    }
    QCOMPARE(host.actions().size(), size_t(1));
    QCOMPARE(host.factory->actionRequests(), 1);
    auto *action = static_cast<HostAction *>(host.actions().front());
    QCOMPARE(QString::fromStdString(action->text()), QStringLiteral("磁盘使用统计"));
    // No icon, tip, separator, check or state.
    QCOMPARE(action->setterCalls(), std::vector<std::string>{"setText"});
}

void MenuPluginTest::nothingToBuildWith_data()
{
    QTest::addColumn<bool>("deliverProxy");
    QTest::addColumn<bool>("hostRefusesActions");
    QTest::addColumn<bool>("proxyWithdrawn");
    QTest::newRow("no proxy delivered") << false << false << false;
    QTest::newRow("proxy replaced by null") << true << false << true;
    QTest::newRow("createAction gives nothing") << true << true << false;
}

void MenuPluginTest::nothingToBuildWith()
{
    QFETCH(bool, deliverProxy);
    QFETCH(bool, hostRefusesActions);
    QFETCH(bool, proxyWithdrawn);

    QuarnGui::QuarnMenuPlugin plugin;
    Host host(hostRefusesActions);
    if (deliverProxy)
        plugin.initialize(&host.proxy);
    if (proxyWithdrawn)
        plugin.initialize(nullptr);

    QVERIFY(plugin.buildNormalMenu(host.menu, "/", "/tmp", {"/tmp"}, false));
    QVERIFY(host.actions().empty());
}

void MenuPluginTest::hostReachesPluginThroughCallbacks()
{
    QuarnGui::QuarnMenuPlugin plugin;
    DFMExtMenuPlugin &asHostSeesIt = plugin;
    Host first, second;

    asHostSeesIt.initialize(&first.proxy);
    QVERIFY(asHostSeesIt.buildNormalMenu(first.menu, "/", "/tmp", {"/tmp"}, false));
    QCOMPARE(first.actions().size(), size_t(1));

    // A later proxy replaces the earlier one.
    asHostSeesIt.initialize(&second.proxy);
    QVERIFY(asHostSeesIt.buildNormalMenu(second.menu, "/", "/tmp", {"/tmp"}, false));
    QCOMPARE(first.factory->actionRequests(), 1);
    QCOMPARE(second.factory->actionRequests(), 1);
    QCOMPARE(second.actions().size(), size_t(1));

    QVERIFY(asHostSeesIt.buildNormalMenu(second.menu, "/", "/tmp", {"/tmp", "/var"}, false));
    QCOMPARE(second.actions().size(), size_t(1));

    // Only the normal menu is extended.
    QVERIFY(!asHostSeesIt.buildEmptyAreaMenu(second.menu, "/tmp", false));
    QCOMPARE(second.actions().size(), size_t(1));
}

void MenuPluginTest::eachActionScansItsOwnPath()
{
    FakeProgram tool(FakeProgram::Reply{"scanned"});
    ExternalProgram::setForTests(tool.program(), QString());

    QuarnGui::QuarnMenuPlugin plugin;
    Host host;
    plugin.initialize(&host.proxy);
    for (const char *selected : {"/srv/first", "file:///srv/second dir", "/srv/third"})
        QVERIFY(plugin.buildNormalMenu(host.menu, "/srv", selected, {selected}, false));
    const std::list<DFMExtAction *> added = host.actions();
    const std::vector<DFMExtAction *> actions(added.begin(), added.end());
    QCOMPARE(actions.size(), size_t(3));

    ModalWindowCloser closer;
    {
        LogCapture quiet;
        actions[1]->triggered(actions[1], false);
        actions[0]->triggered(actions[0], true);
        actions[1]->triggered(nullptr, false); // the callback needs neither argument
        actions[2]->triggered(actions[2]);
    }

    const QList<QStringList> expected{{"-n", "13", "-j", "/srv/second dir"},
                                      {"-n", "13", "-j", "/srv/first"},
                                      {"-n", "13", "-j", "/srv/second dir"},
                                      {"-n", "13", "-j", "/srv/third"}};
    QCOMPARE(tool.runs(), expected);
    QCOMPARE(closer.windows().size(), 4);
}

QTEST_MAIN(MenuPluginTest)
#include "tst_menuplugin.moc"
