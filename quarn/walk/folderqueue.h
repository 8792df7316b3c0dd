// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Where the subfolders a walking thread finds go: the one call a listing makes for each, and the scheduler's
// alone to decide who walks them.

#pragma once

#include "core/dirtree.h"

#include <atomic>
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
// depth first, or lent to the shared stack when others are idle. Either
// kind stays with the worker that found it until another worker is idle:
// a folder walked on the processor that listed its parent finds the
// parent's records in that processor's cache, and handing every leaf folder
// of a large tree across cost a tenth of a warm walk's time. So that an
// idle worker never waits long, the listing worker offers what it holds at
// every entry, and the scheduler's watch takes what it holds whenever
// another is idle: a worker held in one call (a disk read, a stalled
// server) may not reach its next entry for a long time.
class FolderQueue
{
public:
    // Folders handed on in the middle of a listing before what any worker
    // may take is offered again: the run of the lister's batches. Short, so
    // that a worker that became idle while a large folder is listed starts
    // on its first subfolders at once.
    static constexpr std::size_t shareRun = 8;

    // A subfolder found by the listing under way, recorded in the store.
    void push(const WorkItem &found)
    {
        if (found.fd >= 0) {
            ReadyGuard guard(*this);
            m_ready.push_back(found);
            m_readyCount.store(m_ready.size(), std::memory_order_relaxed);
        } else {
            m_local.push_back(found);
        }
        if (++m_pushedInRun == shareRun)
            share();
    }

    // Between two entries of a listing: shares what any worker may take if
    // another worker is idle.
    void offer()
    {
        if (m_readyCount.load(std::memory_order_relaxed) != 0)
            share();
    }

private:
    friend class Scheduler;

    // Holds m_ready against the scheduler's watch: a spin lock, as the
    // worker takes it once a folder and the watch seldom.
    class ReadyGuard
    {
    public:
        explicit ReadyGuard(FolderQueue &queue) : m_held(queue.m_readyHeld)
        {
            while (m_held.exchange(true, std::memory_order_acquire))
                while (m_held.load(std::memory_order_relaxed))
                    ;
        }
        ~ReadyGuard() { m_held.store(false, std::memory_order_release); }
        ReadyGuard(const ReadyGuard &) = delete;
        ReadyGuard &operator=(const ReadyGuard &) = delete;

    private:
        std::atomic<bool> &m_held;
    };

    // Offers m_ready to the scheduler and starts a new run.
    void share();
    // Takes the most recently found folder for any worker; false if none is held.
    bool takeReady(WorkItem &item)
    {
        ReadyGuard guard(*this);
        if (m_ready.empty())
            return false;
        item = m_ready.back();
        m_ready.pop_back();
        m_readyCount.store(m_ready.size(), std::memory_order_relaxed);
        return true;
    }

    Scheduler *m_scheduler = nullptr;
    std::vector<WorkItem> m_ready; // holding a pooled descriptor, for any worker; under m_readyHeld
    std::atomic<bool> m_readyHeld{false};
    std::atomic<std::size_t> m_readyCount{0}; // m_ready's size, read without the lock
    std::vector<WorkItem> m_local;            // without one: walked by this worker, depth first, or lent
    std::size_t m_pushedInRun = 0;            // since the listing began or what was ready was last offered
};

} // namespace quarn
