// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Hands folders to the walking threads: the shared stack, the idle workers, and how many threads are made.

#pragma once

#include "dirtree.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace quarn {

// A folder waiting to be walked.
struct WorkItem
{
    DirNode *dir;
    int fd; // open descriptor of dir holding one of the shared pool, or -1: opened by whoever walks it
    bool mountRoot; // dir may be a mount point: look at its file system type
};

class Scheduler
{
public:
    // One walking thread's part.
    class Worker
    {
    public:
        virtual ~Worker() = default;
        // Walks item's folder and whatever it keeps for itself below it;
        // subfolders for any worker go to ready.
        virtual void walk(const WorkItem &item) = 0;

        std::vector<WorkItem> ready; // subfolders holding a pooled descriptor, for any worker

    private:
        friend class Scheduler;
        Scheduler *m_scheduler = nullptr;
    };
    using WorkerFactory = std::function<std::unique_ptr<Worker>(unsigned index)>;

    ~Scheduler(); // closes the descriptors of folders left queued

    // Runs the walk from first on up to threads workers made by
    // makeWorker, the calling thread being the first, until nothing is
    // queued and nobody walks. Threads that cannot be had (memory, process
    // limits) are done without, down to the calling thread alone. Returns
    // the workers, for what they gathered.
    std::vector<std::unique_ptr<Worker>> run(const WorkItem &first, unsigned threads,
                                             const WorkerFactory &makeWorker);
    // Hands worker.ready to the shared stack.
    void share(Worker &worker);
    // True once an allocation failed in a worker: every worker stops at
    // its next folder and the walk ends without a result.
    bool outOfMemory() const { return m_outOfMemory.load(std::memory_order_relaxed); }

private:
    static void *threadMain(void *context);
    void work(Worker &worker);
    // Walks item and what the worker goes on with; false if memory ran out.
    bool walkFrom(Worker &worker, WorkItem item);

    std::mutex m_lock; // guards m_queue and m_busy
    std::condition_variable m_wake;
    std::vector<WorkItem> m_queue; // taken from the back: depth first keeps few descriptors open
    unsigned m_busy = 0;           // workers walking a folder right now
    unsigned m_threads = 1;
    std::atomic<bool> m_outOfMemory{false};
};

} // namespace quarn
