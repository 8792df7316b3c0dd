// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

ParsedCommandLine usageError(const QString &message)
{
    ParsedCommandLine parsed;
    parsed.kind = ParsedCommandLine::Error;
    parsed.error = message;
    return parsed;
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    // Options may come anywhere, "--" ends them; -h and --help print our
    // own text, not the parser's.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption urls(QStringLiteral("urls"));
    const QCommandLineOption desktop(QStringLiteral("desktop"));
    const QCommandLineOption noProxy(QStringLiteral("no-proxy"));
    const QCommandLineOption trigger(QStringLiteral("trigger"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption dump(QStringLiteral("dump"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption reveal(QStringLiteral("reveal"), QString(), QStringLiteral("PATH"));
    parser.addOptions({help, urls, desktop, noProxy, trigger, screenshot, dump, reveal});
    if (!parser.parse(QStringList{QStringLiteral("menu-host")} + arguments))
        return usageError(parser.errorText());

    ParsedCommandLine parsed;
    if (parser.isSet(help)) {
        parsed.kind = ParsedCommandLine::Help;
        return parsed;
    }
    HostOptions &options = parsed.options;
    options.urls = parser.isSet(urls);
    options.desktop = parser.isSet(desktop);
    options.noProxy = parser.isSet(noProxy);
    const std::pair<const QCommandLineOption *, QString *> values[] = {{&trigger, &options.trigger},
                                                                       {&screenshot, &options.screenshotFile},
                                                                       {&dump, &options.dumpFile},
                                                                       {&reveal, &options.revealPath}};
    for (const auto &[option, value] : values) {
        if (!parser.isSet(*option))
            continue;
        *value = parser.value(*option);
        if (value->isEmpty())
            return usageError(
                QStringLiteral("option --%1 needs a non-empty value").arg(option->names().first()));
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("no plug-in given"));
    const bool inspects =
        !options.screenshotFile.isEmpty() || !options.dumpFile.isEmpty() || !options.revealPath.isEmpty();
    if (inspects && options.trigger.isEmpty())
        return usageError(QStringLiteral("--screenshot, --dump and --reveal need --trigger"));
    options.plugin = positional.takeFirst();
    options.paths = positional;
    parsed.kind = ParsedCommandLine::Run;
    return parsed;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: menu-host [OPTION]... PLUGIN [PATH]...\n"
        "Loads the file-manager extension PLUGIN the way the file manager does and builds\n"
        "the context menu for the selection PATH... (zero or more items).\n"
        "\n"
        "Loading: dlopen(PLUGIN); calls dfm_extension_initialize, or dfm_extension_initiliaze\n"
        "when the former is missing; requires dfm_extension_shutdown and dfm_extension_menu.\n"
        "Then the menu plug-in's initialize gets the host's menu proxy, and buildNormalMenu\n"
        "gets the selection, the current folder (the parent of the first PATH), the focus\n"
        "(the first PATH) and the on-desktop flag. Paths are made absolute first.\n"
        "Prints 'menu-host: action: TEXT' for each action added, then\n"
        "'menu-host: buildNormalMenu returned true' (or false). Finally it calls\n"
        "dfm_extension_shutdown and unloads PLUGIN.\n"
        "\n"
        "Options:\n"
        "  --urls             hand the paths over as file:// URLs: \"file://\" followed by the\n"
        "                     absolute path, not percent-encoded (default: plain local paths)\n"
        "  --desktop          build the menu as if opened on the desktop\n"
        "  --no-proxy         do not call the menu plug-in's initialize (no menu proxy)\n"
        "  --trigger TEXT     trigger the added action whose text is TEXT, inside a\n"
        "                     QApplication (set QT_QPA_PLATFORM=offscreen to run headless)\n"
        "  --screenshot FILE  once the action's modal window is shown, save it as PNG\n"
        "  --dump FILE        once the window is shown, write a JSON description of it:\n"
        "                     class, title, size, minimumSize, buttons, style (the widget\n"
        "                     style's name); for a text window text and font {family,\n"
        "                     pointSize, styleHint (QFont::StyleHint value)}; for a tree\n"
        "                     window hint, headers, columnWidths, sortingEnabled,\n"
        "                     editTriggers, horizontalScrollBar (shown or not) and rows\n"
        "                     {name, size, percent, path, expanded, children}\n"
        "  --reveal PATH      once the tree window is shown, double-click the name cell whose\n"
        "                     stored full path (Qt::UserRole) is PATH\n"
        "  -h, --help         show this help and exit\n"
        "  --                 end of options (for paths that begin with '-')\n"
        "--screenshot, --dump and --reveal need --trigger; after them the window is closed\n"
        "if still open. Without them the window stays until you close it.\n"
        "\n"
        "Exit status:\n"
        "  0  done\n"
        "  1  the screenshot or the dump could not be written\n"
        "  2  bad usage, or PLUGIN missing, not loadable or lacking an entry point\n"
        "  3  --trigger named no action the plug-in added\n"
        "  4  --reveal named no row of the window\n");
}
