// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace quarn {

struct Options;
struct ScanSettings;
class Progress;
class EndingSignalsThread;

// quarn --diff=OLD [PATH] and quarn --diff=OLD -f NEW: the export OLD
// compared with a walk of PATH (default: OLD's target), written to FILE
// as well with -o FILE, or with the export NEW. settings: the walk's, as
// the command line sets them. Returns the exit status: 2 when OLD, NEW or
// PATH cannot be read at all, 1 when either scan records entries it could
// not read or the comparison could not be written.
int runDiff(const Options &options, ScanSettings &settings, Progress *progress,
            EndingSignalsThread &endingSignals);

// quarn -f FILE -o OUT: the export FILE read and written again to OUT, as
// -o writes a walk (OUT replaced only by a whole document); an export of
// quarn's comes out byte for byte. Returns the exit status: 2 when FILE
// cannot be read or OUT cannot be written to, 1 when FILE records entries
// its walk could not read or the copy could not be finished.
int copyExport(const Options &options, EndingSignalsThread &endingSignals);

} // namespace quarn
