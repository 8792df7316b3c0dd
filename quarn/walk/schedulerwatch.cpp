// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The scheduler's watch: more walkers awake while those walking wait in the kernel (a disk, a server, a FUSE
// daemon), fewer again once they do not.

#include "walk/scheduler.h"

#include "platform/kernelcounters.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace quarn {

namespace {

// How often the watch looks at the walkers: a disk read takes about this
// long, a folder in the cache far less.
constexpr auto watchPeriod = std::chrono::milliseconds(1);
// While looks find nothing read from the disk and nobody waiting on it, each
// comes twice as late as the one before, up to this: a look wakes the
// watch and takes a processor from a walker for a moment, and a walk in the
// cache would be looked at a thousand times a second for nothing. A disk
// read is still noticed within this time.
constexpr auto quietWatchPeriod = std::chrono::milliseconds(8);
// A walker that used less of the processor than this share of the time
// since the last look was waiting (in the kernel, or for a processor).
constexpr long waitingShare = 4;
// Walkers so found whose call is read to tell a file system's wait from a processor's.
constexpr unsigned samplesLooked = 3;

} // namespace

void Scheduler::takeFrom(FolderQueue &found)
{
    try {
        handOver(found);
    } catch (const std::bad_alloc &) {
        // No room in the shared stack: the worker walks them itself.
    }
}

// Processor time is the measure: a walker in the cache uses all of the time
// it is given, one waiting in the kernel next to none. Looking costs one clock
// reading per walker a look, and nothing on the walkers' side.
void Scheduler::watch()
{
    using Clock = std::chrono::steady_clock;
    std::vector<Worker *> workers;
    std::vector<long long> lastUsed;
    std::vector<bool> lastWalking;
    auto lastLook = Clock::now();
    auto period = std::chrono::duration_cast<Clock::duration>(watchPeriod);
    std::size_t nextSample = 0;
    DiskReads diskReads;
    std::unique_lock<std::mutex> lock(m_lock);
    try {
        workers.reserve(m_maxThreads);
        lastUsed.reserve(m_maxThreads);
        lastWalking.reserve(m_maxThreads);
    } catch (const std::bad_alloc &) {
        return; // no room to watch: the walk goes on with the threads it has
    }
    while (!m_over) {
        m_watchWake.wait_for(lock, period);
        if (m_over)
            break;
        workers.clear();
        for (const auto &worker : m_workers)
            workers.push_back(worker.get());
        lock.unlock();
        const auto now = Clock::now();
        const long long elapsed =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastLook).count();
        lastLook = now;
        lastUsed.resize(workers.size(), -1);
        lastWalking.resize(workers.size(), false);
        unsigned waiting = 0;
        long long usedByAll = 0;
        pid_t samples[samplesLooked]{};
        for (std::size_t i = 0; i < workers.size(); ++i) {
            const std::size_t k = (i + nextSample) % workers.size();
            const bool walking = workers[k]->m_walking.load(std::memory_order_relaxed);
            const long long used = workers[k]->m_clockKnown ? nanoseconds(workers[k]->m_clock) : -1;
            if (used >= 0 && lastUsed[k] >= 0)
                usedByAll += used - lastUsed[k];
            if (walking && lastWalking[k] && used >= 0 && lastUsed[k] >= 0 &&
                (used - lastUsed[k]) * waitingShare < elapsed) {
                if (waiting < samplesLooked)
                    samples[waiting] = workers[k]->m_thread.load(std::memory_order_relaxed);
                ++waiting;
            }
            lastUsed[k] = used;
            lastWalking[k] = walking;
        }
        // Reads from the disk since the last look, while a walker waited: the
        // walk waits on the disk, and more requests at once overlap those
        // waits even while the processors are busy (much of a cold walk's
        // processor time is the reads' own, in the kernel). A few reads
        // that kept nobody waiting (a walk in the cache, but for a few
        // blocks the kernel let go) are no reason for more threads, and no
        // reason for fewer either. Any other wait in the kernel (a network
        // or FUSE file system's round trip, which reads nothing from a block
        // device) shows in the call a few of the walkers that used little of
        // the processor sleep in: asleep in a file-system call, they wait on
        // the file system; runnable, or asleep on a lock, they wait for a
        // processor or for each other. More threads help only the first.
        const bool readFromDisk = diskReads.grew();
        ++nextSample;
        bool inCall = false;
        for (unsigned i = 0; !readFromDisk && i < waiting && i < samplesLooked && !inCall; ++i)
            inCall = samples[i] && waitingInCall(samples[i]);
        // The processors the walk started with, a quarter of one or more
        // left unused.
        const bool processorsIdle = (long long)(m_baseAwake)*elapsed - usedByAll > elapsed / waitingShare;
        lock.lock();
        // While the walk reads from the disk and a walker waited or the
        // processors idle (a cold walk's first folders: one walker reads,
        // busy in the kernel most of the time, and the other processor has
        // nothing yet), or walkers wait in file-system calls and the
        // processors idle, twice as many walkers as are
        // awake; while it reads, as many; otherwise one fewer a look, so
        // that a look that happens to find them between two reads does not
        // park them all.
        const unsigned awake = unsigned(m_workers.size()) - m_sleeping + m_wakeTokens;
        if ((readFromDisk && (waiting > 0 || processorsIdle)) || (inCall && processorsIdle))
            m_awakeLimit = std::max(m_awakeLimit, std::min(m_maxThreads, 2 * awake));
        else if (!readFromDisk && m_awakeLimit > m_baseAwake)
            --m_awakeLimit;
        const bool quiet = !readFromDisk && !inCall && m_awakeLimit == m_baseAwake;
        period = quiet ? std::min<Clock::duration>(2 * period, quietWatchPeriod) : watchPeriod;
        unsigned woken = 0;
        for (std::size_t i = 0; i < m_queue.size() && wakeOne(); ++i)
            ++woken;
        noteIdleWorkers();
        for (; woken > 0; --woken)
            m_wake.notify_one();
        // Workers are idle, or may now be woken, while others hold found
        // folders: those go to them. A worker shares at its next entry,
        // but one held in a call (a disk read on a cold tree, a stalled
        // request) may not reach it for a long time.
        if (othersIdle()) {
            lock.unlock();
            for (Worker *worker : workers)
                if (worker->m_found.m_readyCount.load(std::memory_order_relaxed) != 0)
                    takeFrom(worker->m_found);
            lock.lock();
        }
    }
}

} // namespace quarn
