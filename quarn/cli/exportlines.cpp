// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The lines that say what is wrong with an export read.

#include "cli/command.h"

#include "core/utf8.h"

#include <unistd.h>

void quarn::reportBadExport(const std::string &file, const std::string &problem,
                            const std::string &decompressor)
{
    const std::string name = quarn::escapedForLog(file);
    if (!decompressor.empty()) // one line, with the command that reads it
        writeAll(STDERR_FILENO, "quarn: " + name + ": " + problem + "; read it with '" + decompressor +
                                    (file == "-" ? "" : " " + name) + " | quarn -f -'\n");
    else
        writeAll(STDERR_FILENO, "quarn: " + name + ": " + problem + "\n");
}

void quarn::reportRecordedErrors(const std::string &file, std::uint64_t count, const std::string &first,
                                 const std::string &reason)
{
    const std::string counted =
        count == 1 ? "a read error" : std::to_string(count) + " read errors, the first";
    const std::string why = reason.empty() ? "" : ": " + quarn::escapedForLog(reason);
    writeAll(STDERR_FILENO, "quarn: " + quarn::escapedForLog(file) + ": records " + counted + " at '" +
                                quarn::escapedForLog(first) + "'" + why + "\n");
}
