// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// menu-host: loads a file-manager extension the way the file manager does,
// builds the context menu for a selection and optionally triggers an action.
// Run with --help for the command line.
#include "commandline.h"
#include "hostmenu.h"
#include "pluginlibrary.h"
#include "windowwatcher.h"

#include <dfm-extension/menu/dfmextmenuplugin.h>
#include <dfm-extension/menu/dfmextmenuproxy.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <iostream>
#include <list>
#include <memory>
#include <string>

namespace {

// The selection as the file manager hands it over: absolute local paths, or
// "file://" + the absolute path, not percent-encoded, for older versions.
std::list<std::string> selection(const QStringList &paths, bool asUrls)
{
    std::list<std::string> urls;
    for (const QString &path : paths) {
        const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
        urls.push_back((asUrls ? QStringLiteral("file://") + absolute : absolute).toStdString());
    }
    return urls;
}

std::string parentOf(const std::string &location, bool isUrl)
{
    const std::string prefix = isUrl ? "file://" : "";
    const QString path = QString::fromStdString(location.substr(prefix.size()));
    return prefix + QFileInfo(path).path().toStdString();
}

dfmext::DFMExtAction *findAction(const dfmext::DFMExtMenu *menu, const std::string &text)
{
    for (dfmext::DFMExtAction *action : HostMenuFactory::allActions(menu)) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Triggers `action` inside a QApplication, created only now so that loading
// and building the menu need no display. Returns menu-host's exit status.
int triggerInApplication(dfmext::DFMExtAction *action, const HostOptions &options, int &argc, char **argv)
{
    QApplication app(argc, argv);
    WindowWatcher watcher(options);
    const bool watch =
        !options.screenshotFile.isEmpty() || !options.dumpFile.isEmpty() || !options.revealPath.isEmpty();
    if (watch)
        app.installEventFilter(&watcher);
    action->triggered(action, false);
    app.removeEventFilter(&watcher);
    return watcher.status();
}

int run(const HostOptions &options, int &argc, char **argv)
{
    PluginLibrary library;
    if (!library.load(options.plugin)) {
        std::cerr << "menu-host: " << library.errorString().toStdString() << std::endl;
        return ExitUsageOrLoad;
    }
    library.initialize();
    dfmext::DFMExtMenuPlugin *plugin = library.menu();
    if (!plugin) {
        std::cerr << "menu-host: " << options.plugin.toStdString() << ": dfm_extension_menu returned null"
                  << std::endl;
        library.shutdown();
        return ExitUsageOrLoad;
    }

    int status = ExitOk;
    {
        // The host tears its menus and actions down (running their "deleted"
        // callbacks) before the plug-in shuts down; they hold functions from
        // the plug-in's code, so they must be gone before it is unloaded.
        auto *factory = new HostMenuFactory;
        dfmext::DFMExtMenuProxy proxy(factory);
        dfmext::DFMExtMenu *menu = proxy.createMenu();

        const std::list<std::string> urls = selection(options.paths, options.urls);
        const std::string focus = urls.empty() ? std::string() : urls.front();
        const std::string current = urls.empty() ? std::string() : parentOf(focus, options.urls);
        if (!options.noProxy)
            plugin->initialize(&proxy);
        const bool built = plugin->buildNormalMenu(menu, current, focus, urls, options.desktop);
        for (const dfmext::DFMExtAction *action : menu->actions())
            std::cout << "menu-host: action: " << action->text() << std::endl;
        std::cout << "menu-host: buildNormalMenu returned " << (built ? "true" : "false") << std::endl;

        if (!options.trigger.isEmpty()) {
            dfmext::DFMExtAction *action = findAction(menu, options.trigger.toStdString());
            if (action) {
                status = triggerInApplication(action, options, argc, argv);
            } else {
                std::cerr << "menu-host: no action with the text " << options.trigger.toStdString()
                          << std::endl;
                status = ExitNoSuchAction;
            }
        }
    }
    library.shutdown();
    library.unload();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.kind) {
    case ParsedCommandLine::Help:
        std::cout << usageText().toStdString();
        return ExitOk;
    case ParsedCommandLine::Error:
        std::cerr << "menu-host: " << parsed.error.toStdString() << "\n" << usageText().toStdString();
        return ExitUsageOrLoad;
    case ParsedCommandLine::Run:
        break;
    }
    return run(parsed.options, argc, argv);
}
