// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The extension library's menu plug-in base (the stand-in's, or the real
// library's in a build against it): each call reaches the function
// registered last, and the builders answer false when none is registered.
#include <dfm-extension/menu/dfmextmenuplugin.h>

#include <QtTest>

using dfmext::DFMExtMenu;
using dfmext::DFMExtMenuPlugin;
using dfmext::DFMExtMenuProxy;

class DFMExtMenuPluginTest : public QObject
{
    Q_OBJECT

private slots:
    void buildersWithoutRegistrationAnswerFalse();
    void callsReachLastRegisteredFunction();
    void argumentsArriveUnchanged();
};

void DFMExtMenuPluginTest::buildersWithoutRegistrationAnswerFalse()
{
    DFMExtMenuPlugin plugin;
    plugin.initialize(nullptr); // nothing registered: no effect, no crash
    QCOMPARE(plugin.buildNormalMenu(nullptr, "/", "/tmp", {"/tmp"}, false), false);
    QCOMPARE(plugin.buildEmptyAreaMenu(nullptr, "/", false), false);
}

void DFMExtMenuPluginTest::callsReachLastRegisteredFunction()
{
    DFMExtMenuPlugin plugin;
    QStringList calls;
    plugin.registerInitialize([&](DFMExtMenuProxy *) { calls << "first initialize"; });
    plugin.registerInitialize([&](DFMExtMenuProxy *) { calls << "second initialize"; });
    plugin.registerBuildNormalMenu([&](DFMExtMenu *, const std::string &, const std::string &,
                                       const std::list<std::string> &, bool) { return false; });
    plugin.registerBuildNormalMenu([&](DFMExtMenu *, const std::string &, const std::string &,
                                       const std::list<std::string> &, bool) { return true; });
    {
        // The library keeps its own copy: the caller's function may go away.
        DFMExtMenuPlugin::BuildEmptyAreaMenuFunc temporary = [&](DFMExtMenu *, const std::string &, bool) {
            calls << "empty area";
            return true;
        };
        plugin.registerBuildEmptyAreaMenu(temporary);
    }

    plugin.initialize(nullptr);
    QCOMPARE(plugin.buildNormalMenu(nullptr, "", "", {}, false), true);
    QCOMPARE(plugin.buildEmptyAreaMenu(nullptr, "", false), true);
    QCOMPARE(calls, (QStringList{"second initialize", "empty area"}));
}

void DFMExtMenuPluginTest::argumentsArriveUnchanged()
{
    DFMExtMenuPlugin plugin;
    auto *menu = reinterpret_cast<DFMExtMenu *>(0x1000);
    auto *proxy = reinterpret_cast<DFMExtMenuProxy *>(0x2000);
    DFMExtMenuProxy *seenProxy = nullptr;
    std::tuple<DFMExtMenu *, std::string, std::string, std::list<std::string>, bool> seen;
    plugin.registerInitialize([&](DFMExtMenuProxy *p) { seenProxy = p; });
    plugin.registerBuildNormalMenu([&](DFMExtMenu *m, const std::string &current, const std::string &focus,
                                       const std::list<std::string> &urls, bool onDesktop) {
        seen = {m, current, focus, urls, onDesktop};
        return true;
    });

    plugin.initialize(proxy);
    plugin.buildNormalMenu(menu, "file:///home", "file:///home/a", {"file:///home/a", "file:///home/b"},
                           true);
    QCOMPARE(seenProxy, proxy);
    QVERIFY(seen == std::make_tuple(menu, std::string("file:///home"), std::string("file:///home/a"),
                                    std::list<std::string>{"file:///home/a", "file:///home/b"}, true));
}

QTEST_APPLESS_MAIN(DFMExtMenuPluginTest)
#include "tst_dfmextmenuplugin.moc"
