// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "externalprogram.h"

namespace {
QString quarnOverride;
QString fileManagerOverride;
} // namespace

namespace ExternalProgram {

QString quarn()
{
    return quarnOverride.isEmpty() ? QString::fromLatin1(kQuarnPath) : quarnOverride;
}

QString fileManager()
{
    return fileManagerOverride.isEmpty() ? QString::fromLatin1(kFileManagerPath) : fileManagerOverride;
}

void setForTests(const QString &quarnPath, const QString &fileManagerPath)
{
    quarnOverride = quarnPath;
    fileManagerOverride = fileManagerPath;
}

} // namespace ExternalProgram
