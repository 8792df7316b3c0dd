// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// What menu-host was asked to do.
struct HostOptions
{
    bool urls = false;      // hand the selection over as file:// URLs
    bool desktop = false;   // the menu opens on the desktop
    bool noProxy = false;   // do not call the plug-in's initialize
    QString trigger;        // text of the action to trigger; empty: none
    QString screenshotFile; // PNG of the window the action opens
    QString dumpFile;       // JSON description of that window
    QString revealPath;     // full path whose name cell gets double-clicked
    QString plugin;
    QStringList paths; // the selection, as given
};

// The outcome of reading the command line: options to run with, or a request
// for help, or a usage error (message in `error`).
struct ParsedCommandLine
{
    enum Kind { Run, Help, Error };
    Kind kind = Error;
    HostOptions options;
    QString error;
};

ParsedCommandLine parseCommandLine(const QStringList &arguments); // arguments without the program name
QString usageText();

// Exit statuses of menu-host.
enum HostExitStatus {
    ExitOk = 0,
    ExitOutputFailed = 1,  // the screenshot or the dump could not be written
    ExitUsageOrLoad = 2,   // bad usage, or the plug-in could not be loaded
    ExitNoSuchAction = 3,  // --trigger named no action the plug-in added
    ExitRevealNotFound = 4 // --reveal named no row of the window
};
