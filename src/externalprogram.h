// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Absolute paths of the two programs the extension starts. They are fixed in
// the shipped plug-in; tests redirect them to small fake programs of their own
// through setForTests(), which the plug-in itself never calls.
namespace ExternalProgram {

inline constexpr char kQuarnPath[] = "/usr/bin/quarn";
inline constexpr char kFileManagerPath[] = "/usr/bin/dde-file-manager";

// The disk-usage tool to run: kQuarnPath unless a test redirected it.
QString quarn();
// The file manager started to reveal an item: kFileManagerPath unless redirected.
QString fileManager();

// Redirects both programs; an empty path restores that program's fixed path.
void setForTests(const QString &quarnPath, const QString &fileManagerPath);

} // namespace ExternalProgram
