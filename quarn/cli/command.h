// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string_view>

namespace quarn {

struct Options;

// Writes all of text to fd, waiting for room when fd is non-blocking.
// Returns 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view text);

// Does what options (parsed and valid) ask: the help, the version, the
// report of an export, the export of a walk, or the reports of the walks of
// every path, each written as its walk ends, with the progress line on a
// terminal. Returns the exit status: 0, 1 when something could not be read
// or written, 2 when a target could not be read at all. Throws
// std::bad_alloc when memory runs out.
int runCommand(const Options &options);

} // namespace quarn
