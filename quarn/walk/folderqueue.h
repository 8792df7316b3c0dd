// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Where the subfolders a walking thread finds go: the one call a listing makes for each, and the scheduler's
// alone to decide who walks them.

#pragma once

#include "core/dirtree.h"

#include <cstddef>
#include <vector>

namespace quarn {

class Scheduler;

// A folder waiting to be walked.
struct WorkItem
{
    DirNode *dir;
    int fd; // open descriptor of dir holding one of the shared pool, or -1: opened by whoever walks it
    bool mountRoot; // dir may be a mount point: look at its file system type
};

// One worker's found subfolders, owned by the scheduler. Those opened with a
// pooled descriptor may go to any worker; the rest are walked by this one,
// depth first, or lent to the shared stack when others are idle. While a
// large folder is listed, what any worker may take is shared every
// shareRun folders found, so that others start on it at once and what the
// worker keeps stays a few KiB; at the end of a listing it is kept, so that
// the worker goes on with one of them and a chain of single folders never
// passes through the shared stack.
class FolderQueue
{
public:
    // Folders handed on in the middle of a listing before what any worker
    // may take is shared: the run of the lister's batches. Short, because
    // the listing worker stats and opens each folder of a run before anyone
    // may take it: with 64, a mirror of /usr/share/doc (a top folder of
    // 1,084 entries) whose every call waited 0.2 ms took 1.15 x the floor
    // walk with 64 threads, its requests coming in bursts; with 8, 1.02 x,
    // and 300,000 empty folders took as long as before, warm and cold.
    static constexpr std::size_t shareRun = 8;

    // A subfolder found by the listing under way, recorded in the store.
    void push(const WorkItem &found)
    {
        (found.fd >= 0 ? m_ready : m_local).push_back(found);
        if (++m_pushedInRun == shareRun)
            share();
    }

private:
    friend class Scheduler;

    // Hands m_ready to the shared stack and starts a new run.
    void share();

    Scheduler *m_scheduler = nullptr;
    std::vector<WorkItem> m_ready; // holding a pooled descriptor, for any worker
    std::vector<WorkItem> m_local; // without one: walked by this worker, depth first, or lent
    std::size_t m_pushedInRun = 0; // since the listing began or what was ready was last shared
};

} // namespace quarn
