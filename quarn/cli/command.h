// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/entry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quarn {

struct Options;
struct ScanSettings;
class Progress;
class EndingSignalsThread;
class WalkEvents;

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

// What the walk and the reports of exports count, as options ask.
Measure measureOf(const Options &options);
// Whether the text report is coloured: --color, NO_COLOR and a terminal on standard output.
bool textColour(const Options &options);
// Whether path can be looked at, as du checks the operand before anything
// else; if not, says so in du's words ("quarn: cannot access ...").
bool accessible(const std::string &path);
// The line for an export that cannot be read or is not one: "quarn: FILE: PROBLEM".
void reportBadExport(const std::string &file, const std::string &problem, const std::string &decompressor);
// The line for an export that records entries its walk could not read.
void reportRecordedErrors(const std::string &file, std::uint64_t count, const std::string &first,
                          const std::string &reason);
// quarn -o FILE PATH: the walk of PATH written as an export to FILE, also
// told to also (null: nobody). What can fail before the walk (FILE, the
// temporary files) is tried before it; FILE is replaced only by a whole
// export. progress: null where none is shown. Returns the exit status.
int exportScan(const std::string &path, const Options &options, ScanSettings &settings, Progress *progress,
               EndingSignalsThread &endingSignals, WalkEvents *also = nullptr);

} // namespace quarn
