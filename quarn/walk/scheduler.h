// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Hands folders to the walking threads: the shared stack, what each worker finds (its FolderQueue), the idle
// workers parked and woken, and threads added while those walking wait in the kernel (a disk, a server, a
// FUSE daemon; the watch, in schedulerwatch.cpp).

#pragma once

#include "core/dirtree.h"
#include "walk/folderqueue.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace quarn {

class Scheduler
{
public:
    // One walking thread's part: it walks the folders it is given, one at a
    // time, and hands what it finds to the scheduler, which decides who
    // walks each.
    class Worker
    {
    public:
        virtual ~Worker() = default;
        // Lists item's folder, each subfolder found pushed to found. False
        // when there was nothing to list (it could not be entered).
        virtual bool walk(const WorkItem &item, FolderQueue &found) = 0;
        // Nothing of the worker's own is left to walk: gives back what it
        // holds for the folders it walked.
        virtual void pause() = 0;

    private:
        friend class Scheduler;
        Scheduler *m_scheduler = nullptr;
        FolderQueue m_found;
        std::atomic<bool> m_walking{false}; // inside walkFrom(), for the watch
        clockid_t m_clock{};                // the thread's processor time
        std::atomic<pid_t> m_thread{0};     // the thread's id, once it runs
        bool m_clockKnown = false;
    };
    using WorkerFactory = std::function<std::unique_ptr<Worker>(unsigned index)>;

    ~Scheduler(); // closes the descriptors of folders left queued

    // Runs the walk from first on workers made by makeWorker, the calling
    // thread being the first, until nothing is queued and nobody walks.
    // startThreads work from the start and at most that many are awake at
    // once, more while walkers are seen waiting in the kernel: then sleeping
    // workers are woken and new ones made, up to threads in all. Threads
    // that cannot be had (memory, process limits) are done without, down to
    // the calling thread alone; where the address space is limited, all are
    // made at the start, while room for the walk is held. Returns the
    // workers, for what they gathered.
    std::vector<std::unique_ptr<Worker>> run(const WorkItem &first, unsigned threads, unsigned startThreads,
                                             const WorkerFactory &makeWorker);
    // True once an allocation failed in a worker: every worker stops at
    // its next folder and the walk ends without a result.
    bool outOfMemory() const { return m_outOfMemory.load(std::memory_order_relaxed); }

private:
    friend class FolderQueue;

    static void *threadMain(void *context);
    static void *watchMain(void *context);
    void work(Worker &worker);
    // Walks item and what the worker goes on with: the folders it keeps
    // for itself, depth first, then one of those it found for any worker
    // while others take the rest. False if memory ran out.
    bool walkFrom(Worker &worker, WorkItem item);
    // Hands found's folders for any worker to the shared stack if another
    // worker is idle: the processor that listed their parent walks them
    // faster.
    void share(FolderQueue &found);
    // Hands found's folders for any worker to the shared stack; may be
    // called from any thread.
    void handOver(FolderQueue &found);
    // Hands the first (shallowest) half of local to the shared stack and
    // wakes the workers that could start on them at once: an idle worker
    // given one folder at a time would be idle again after it.
    void lend(std::vector<WorkItem> &local);
    // True while another worker could start on a folder at once, none
    // being queued: a hint, read without the lock.
    bool othersIdle() const { return m_othersIdle.load(std::memory_order_relaxed); }
    // The watch's handOver(), which leaves found as it was when there is no room.
    void takeFrom(FolderQueue &found);
    // Makes one more worker and its thread; false if it cannot be had. Under m_lock.
    bool addThread();
    // Wakes a sleeping worker, or makes one, for a queued folder while
    // fewer than m_awakeLimit are awake. Under m_lock.
    bool wakeOne();
    // Keeps m_othersIdle up to date. Under m_lock.
    void noteIdleWorkers();
    // Every millisecond (less often while nothing is read from the disk):
    // while walkers wait and the walk reads from the disk, or they sleep in
    // file-system calls (not on a lock or for a processor) and the
    // processors idle, lets twice as many be awake as are; otherwise,
    // unless the walk reads, one fewer, down to startThreads. While others
    // are idle, the folders any walker holds go to them.
    void watch();

    std::mutex m_lock; // guards everything below but m_workers' contents
    std::condition_variable m_wake;
    std::condition_variable m_watchWake;
    std::vector<WorkItem> m_queue; // taken from the back: depth first keeps few descriptors open
    unsigned m_busy = 0;           // workers walking a folder right now
    unsigned m_sleeping = 0;       // workers waiting for a folder
    unsigned m_wakeTokens = 0;     // wake-ups given and not yet taken by a sleeper
    unsigned m_awakeLimit = 1;     // workers that may be awake at once
    unsigned m_baseAwake = 1;      // m_awakeLimit when nobody waits in the kernel
    unsigned m_maxThreads = 1;
    bool m_over = false; // the walk is over (or memory ran out): every worker leaves
    // Nothing is queued, and a worker is asleep or may be made within the
    // awake limit: written under m_lock, read without it.
    std::atomic<bool> m_othersIdle{false};
    std::atomic<bool> m_outOfMemory{false};
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<pthread_t> m_started;
    const WorkerFactory *m_makeWorker = nullptr;
    pthread_attr_t m_attributes;
    bool m_attributesSet = false;
};

} // namespace quarn
