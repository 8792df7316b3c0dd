// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/entry.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

class Exclusion;
class HardLinkSet;
class WalkEvents;

// How the tree is walked.
struct WalkOptions
{
    Measure measure = Measure::Allocated;
    bool oneFileSystem = false; // skip directories on other devices than the target's
    bool followTarget = false;  // a symbolic link given as the path is walked as its target
    // Every symbolic link is followed: what it points to is walked as if it
    // lay there, each file and folder counted once, at the first name the
    // walk meets. Needs SharedCount::counted set.
    bool followLinks = false;
    // Walking threads. 0: as many as processors at first, more while those
    // walking wait on the disk, up to defaultThreadCount().
    unsigned threads = 0;
    // Entries left out of the walk; null: none. scan() gives it its target.
    Exclusion *exclusion = nullptr;

    // Most threads the walk runs: the worker indices its listeners see lie below it.
    unsigned workers() const;
};

// What the walks of several paths share, so that each folder and file
// counts once across all of them, as du counts them.
struct SharedCount
{
    // Where each walk notes what it has counted; null for a single path.
    // Files with several links are added as each walk places them, after it.
    HardLinkSet *counted = nullptr;
    // With counted set, every file is noted, not only those with several
    // links: one of the paths is a file that another may hold.
    bool noteEveryFile = false;
};

struct ScanSettings
{
    WalkOptions walk;
    SharedCount shared;
};

// How a walk ended. Incomplete: some entries could not be read, or the
// target folder could not be read or changed after the first look at it
// (then it counts its own size). TargetUnreadable: the target could not be
// looked at, and nothing was told. AlreadyCounted: the target was counted
// by an earlier walk sharing SharedCount::counted, and nothing was told.
enum class ScanStatus { Complete, Incomplete, TargetUnreadable, AlreadyCounted };

// Walks the tree under path, telling events (null: nobody) what it meets,
// with worker indices below settings.walk.workers(): those who follow it
// make of it what they make (a report, an export, a progress line). Every
// entry that cannot be read is written to stderr as "quarn: cannot read
// 'PATH': REASON" as it is met; the walk goes on with the rest. Throws
// std::bad_alloc, the walk stopped, when memory runs out.
ScanStatus scan(const std::string &path, const ScanSettings &settings, WalkEvents *events = nullptr);

// Target name as displayed, as du shows it: the path as given, but two or
// more trailing slashes become one, except in "//" itself.
std::string displayName(const std::string &path);

// Processors this process may run on.
unsigned availableProcessors();

// Most walking threads when none are asked for. A cold
// cache is bound by the disk and gains from many requests in flight (on 2
// processors, 300,000 files: 32 threads take about 0.75x the time of 2, 64
// as long as 32); a FUSE or network file system answers each request in a
// round trip, and only more in flight help (a folder of slow stats each:
// 64 threads take half the time of 32); a warm one is bound by the
// processors, and threads beyond them only cost (wake-ups, shared state: 8 %
// on 2 processors). So the walk starts with one thread per processor and
// adds threads, up to at least 64 and never fewer than the processors, only
// while those walking are seen waiting.
unsigned defaultThreadCount();

} // namespace quarn
