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

} // namespace quarn
