// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fakeprogram.h"

#include <QFile>
#include <QTest>

namespace {

// The file every run appends its arguments to: "run" and each argument
// prefixed with "arg:", every one ended by a NUL byte.
const char kRunsFile[] = "runs";

} // namespace

FakeProgram::FakeProgram(const QByteArray &body, const QString &name) : name(name)
{
    write(name, "#!/bin/sh\n"
                "cd '" +
                    dir.path().toUtf8() + "' || exit 99\n" +
                    "{ printf 'run\\0'; for a in \"$@\"; do printf 'arg:%s\\0' \"$a\"; done; } >> " +
                    kRunsFile + "\n" + body);
    QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

FakeProgram::FakeProgram(const Reply &reply, const QString &name)
    : FakeProgram("cat stdout\ncat stderr >&2\nexit " + QByteArray::number(reply.exitCode) + "\n", name)
{
    write(QStringLiteral("stdout"), reply.standardOutput);
    write(QStringLiteral("stderr"), reply.standardError);
}

QString FakeProgram::program() const
{
    return dir.filePath(name);
}

QString FakeProgram::filePath(const QString &file) const
{
    return dir.filePath(file);
}

QList<QStringList> FakeProgram::runs() const
{
    QFile file(dir.filePath(QString::fromLatin1(kRunsFile)));
    QList<QStringList> result;
    if (!file.open(QIODevice::ReadOnly))
        return result;
    QList<QByteArray> fields = file.readAll().split('\0');
    fields.removeLast(); // after the last terminator
    for (const QByteArray &field : fields) {
        if (field == "run")
            result.append(QStringList());
        else if (field.startsWith("arg:") && !result.isEmpty())
            result.last().append(QString::fromUtf8(field.mid(4)));
    }
    return result;
}

void FakeProgram::write(const QString &file, const QByteArray &bytes) const
{
    QFile out(dir.filePath(file));
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(bytes), bytes.size());
}
