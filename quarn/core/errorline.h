// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Lines on standard error, kept whole and apart from a status line another unit may draw there.

#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace quarn {

// Writes line (ending in a line feed) to standard error whole, waiting as
// long as that takes, in one write after what the clearing hook returns, so
// that an error line never mixes with a status line drawn on the terminal.
void writeErrorLine(std::string_view line);

// Held by writeErrorLine, and by whoever draws a status line on standard
// error while it draws.
std::mutex &errorLineLock();

// clearing (called with errorLineLock held) returns the text that erases the
// status line shown, if any, and forgets it; null: nothing to clear.
void setErrorLineClearing(std::string (*clearing)());

std::string errorText(int error);

// Writes "quarn: cannot read 'PATH': REASON" on stderr, the path escaped.
void reportError(const std::string &path, const std::string &reason);

} // namespace quarn
