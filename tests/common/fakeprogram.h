// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in for an external program (the disk-usage tool, the file manager):
// a shell script in its own temporary folder. Each run records its arguments,
// changes into that folder and then runs the script's body, so that what the
// body leaves behind is found with filePath().
class FakeProgram
{
public:
    // What a program that only answers prints and returns.
    struct Reply
    {
        Reply(const QByteArray &standardOutput, const QByteArray &standardError = {}, int exitCode = 0)
            : standardOutput(standardOutput), standardError(standardError), exitCode(exitCode)
        {}
        QByteArray standardOutput;
        QByteArray standardError;
        int exitCode;
    };

    // A program that runs `body`, shell commands, after recording its arguments.
    explicit FakeProgram(const QByteArray &body, const QString &name = QStringLiteral("quarn"));
    // A program that prints the reply's bytes on standard output and standard
    // error and exits with its code.
    explicit FakeProgram(const Reply &reply, const QString &name = QStringLiteral("quarn"));

    QString program() const; // absolute path of the script
    QString filePath(const QString &name) const;
    // The arguments of every run so far, one list per run, in run order. Any
    // argument comes back unchanged, with line breaks or empty.
    QList<QStringList> runs() const;
    bool ran() const { return !runs().isEmpty(); }

private:
    void write(const QString &name, const QByteArray &bytes) const;

    QTemporaryDir dir;
    QString name;
};
