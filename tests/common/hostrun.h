// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Runs menu-host as a child process and splits what it wrote into lines.

#include "testpaths.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QtTest>

struct HostRun
{
    int exitCode = -1;
    QStringList out; // stdout lines
    QStringList err; // stderr lines

    // The lines menu-host itself printed, without the plug-in's.
    QStringList hostLines() const { return out.filter(QRegularExpression(QStringLiteral("^menu-host: "))); }
    // menu-host's own error lines, without Qt's platform notices.
    QStringList hostErrors() const { return err.filter(QRegularExpression(QStringLiteral("^menu-host: "))); }
};

inline QStringList splitLines(const QByteArray &bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline HostRun runHost(const QStringList &arguments,
                       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                       const QString &workingDirectory = QString())
{
    QProcess process;
    process.setProgram(QStringLiteral(MENU_HOST));
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    HostRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        qWarning() << "menu-host did not finish:" << arguments;
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = splitLines(process.readAllStandardOutput());
    run.err = splitLines(process.readAllStandardError());
    return run;
}
