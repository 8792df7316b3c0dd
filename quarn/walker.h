// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "report.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

class Exclusion;
class Progress;

struct ScanSettings
{
    std::size_t top = 20;       // entries to report, the target included
    bool apparentSize = false;  // count st_size instead of allocated blocks
    bool oneFileSystem = false; // skip directories on other devices than the target's
    unsigned threads = 1;       // walking threads, at least 1

    // Entries deeper below the target are counted, not reported.
    std::uint32_t maxDepth = UINT32_MAX;
    // Entries left out of the walk; null: none.
    const Exclusion *exclusion = nullptr;
    // Shown during the walk, with a slot for each thread; null: none.
    Progress *progress = nullptr;
};

struct ScanResult
{
    enum Status { Complete, Incomplete, TargetUnreadable };
    Status status = Complete;
    Report report; // empty when status is TargetUnreadable
};

// Walks the tree under path and selects the report. Every entry that cannot
// be read is written to stderr as "quarn: cannot read 'PATH': REASON" as it
// is met; the walk goes on with the rest. Throws std::bad_alloc, the walk
// stopped, when memory runs out.
ScanResult scan(const std::string &path, const ScanSettings &settings);

// Target name as displayed, as du shows it: the path as given, but two or
// more trailing slashes become one, except in "//" itself.
std::string displayName(const std::string &path);

// Processors this process may run on.
unsigned availableProcessors();

// Walking threads when none are asked for. A cold cache is bound by the
// disk and gains from many requests in flight (on 2 processors, 300,000
// files: 32 threads take about 0.75x the time of 2); a warm one is bound by
// the processors and loses nothing measurable to extra threads. So: at
// least 32, and never fewer than the processors.
unsigned defaultThreadCount();

} // namespace quarn
