// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/scheduler.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <new>

namespace quarn {

namespace {

// Stack of each walking thread but the main one: the walk has no recursion
// and keeps its buffers on the heap, so a little is plenty, and many threads
// fit a small address-space limit.
constexpr std::size_t workerStackSize = 256 * 1024;
// Where the address space is limited, this part of it (within these
// bounds) is held while threads are made, so that threads take only what
// the walk can spare: a thread made in the last of it would leave the walk
// none.
constexpr std::size_t smallestWalkRoom = 2 * 1024 * 1024;
constexpr std::size_t largestWalkRoom = 64 * 1024 * 1024;

// Holds room for the walk in the address space, if it is limited: a
// mapping that takes address space only, no memory.
class WalkRoom
{
public:
    WalkRoom()
    {
        rlimit limit{};
        if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
            return;
        // One arena of the C library for every thread: another would
        // reserve 64 MiB of address space (failing that, try again at every
        // allocation), more than such a limit leaves.
        mallopt(M_ARENA_MAX, 1);
        for (m_size = std::clamp<std::size_t>(limit.rlim_cur / 2, smallestWalkRoom, largestWalkRoom);
             m_size >= smallestWalkRoom / 4; m_size /= 2) {
            m_room = ::mmap(nullptr, m_size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (m_room != MAP_FAILED)
                return;
        }
    }
    ~WalkRoom() { giveBack(); }
    bool held() const { return m_room != MAP_FAILED; }
    // Makes the room free for the walk.
    void giveBack()
    {
        if (m_room != MAP_FAILED)
            ::munmap(m_room, m_size);
        m_room = MAP_FAILED;
    }

private:
    void *m_room = MAP_FAILED;
    std::size_t m_size = 0;
};

} // namespace

Scheduler::~Scheduler()
{
    for (const WorkItem &item : m_queue)
        if (item.fd >= 0)
            ::close(item.fd);
}

void *Scheduler::threadMain(void *context)
{
    Worker &worker = *static_cast<Worker *>(context);
    worker.m_thread.store(pid_t(::syscall(SYS_gettid)), std::memory_order_relaxed);
    worker.m_scheduler->work(worker);
    return nullptr;
}

void *Scheduler::watchMain(void *context)
{
    static_cast<Scheduler *>(context)->watch();
    return nullptr;
}

std::vector<std::unique_ptr<Scheduler::Worker>> Scheduler::run(const WorkItem &first, unsigned threads,
                                                               unsigned startThreads,
                                                               const WorkerFactory &makeWorker)
{
    m_queue.push_back(first);
    m_makeWorker = &makeWorker;
    m_maxThreads = std::max(1u, threads);
    m_baseAwake = m_awakeLimit = std::min(m_maxThreads, std::max(1u, startThreads));
    // Room for every thread before any starts: once one runs, a failed
    // allocation here would unwind past it and free the worker it walks with.
    m_workers.reserve(m_maxThreads);
    m_started.reserve(m_maxThreads);
    // The walk needs little stack (no recursion, buffers on the heap): small
    // stacks keep many threads within a small address-space limit.
    m_attributesSet = pthread_attr_init(&m_attributes) == 0;
    if (m_attributesSet)
        pthread_attr_setstacksize(&m_attributes, workerStackSize);
    pthread_t watcher{};
    bool watching = false;
    {
        WalkRoom room;
        std::lock_guard<std::mutex> guard(m_lock);
        m_workers.push_back(makeWorker(0));
        m_workers[0]->m_scheduler = this;
        m_workers[0]->m_found.m_scheduler = this;
        m_workers[0]->m_clockKnown = pthread_getcpuclockid(pthread_self(), &m_workers[0]->m_clock) == 0;
        m_workers[0]->m_thread = pid_t(::syscall(SYS_gettid));
        // Made later, a thread could take the last of a limited address
        // space from the walk; parked, it costs the walkers nothing.
        const std::size_t made = room.held() ? m_maxThreads : m_baseAwake;
        while (m_workers.size() < made && addThread())
            ;
        // Watched also where no thread may be added: the watch takes the
        // folders a worker holds while that worker is stuck in a call.
        if (m_maxThreads > 1)
            watching =
                pthread_create(&watcher, m_attributesSet ? &m_attributes : nullptr, watchMain, this) == 0;
    }
    work(*m_workers[0]);
    if (watching)
        pthread_join(watcher, nullptr);
    // Nothing makes threads any more.
    for (pthread_t thread : m_started)
        pthread_join(thread, nullptr);
    if (m_attributesSet)
        pthread_attr_destroy(&m_attributes);
    return std::move(m_workers);
}

bool Scheduler::addThread()
{
    std::unique_ptr<Worker> worker;
    try {
        m_workers.reserve(m_workers.size() + 1);
        m_started.reserve(m_started.size() + 1);
        worker = (*m_makeWorker)(unsigned(m_workers.size()));
    } catch (const std::bad_alloc &) {
        m_maxThreads = unsigned(m_workers.size()); // no more tries
        return false;
    }
    worker->m_scheduler = this;
    worker->m_found.m_scheduler = this;
    pthread_t thread;
    if (pthread_create(&thread, m_attributesSet ? &m_attributes : nullptr, threadMain, worker.get()) != 0) {
        m_maxThreads = unsigned(m_workers.size());
        return false;
    }
    worker->m_clockKnown = pthread_getcpuclockid(thread, &worker->m_clock) == 0;
    m_started.push_back(thread);
    m_workers.push_back(std::move(worker));
    return true;
}

bool Scheduler::wakeOne()
{
    if (m_workers.size() - m_sleeping + m_wakeTokens >= m_awakeLimit)
        return false;
    if (m_sleeping > m_wakeTokens) {
        ++m_wakeTokens;
        return true;
    }
    return m_workers.size() < m_maxThreads && addThread();
}

void Scheduler::work(Worker &worker)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_over)
            break;
        if (m_queue.empty()) {
            if (m_busy == 0) {
                m_over = true; // nothing queued and nobody walking: every worker leaves
                m_wake.notify_all();
                m_watchWake.notify_all();
                break;
            }
            // Parked until a folder is queued and a processor is free for
            // it: a worker that is not needed is never woken.
            ++m_sleeping;
            noteIdleWorkers();
            m_wake.wait(lock, [this] { return m_wakeTokens > 0 || m_over; });
            --m_sleeping;
            if (m_wakeTokens > 0)
                --m_wakeTokens;
            continue;
        }
        WorkItem item = m_queue.back();
        m_queue.pop_back();
        ++m_busy;
        noteIdleWorkers();
        lock.unlock();
        worker.m_walking.store(true, std::memory_order_relaxed);
        const bool walked = walkFrom(worker, item);
        worker.m_walking.store(false, std::memory_order_relaxed);
        lock.lock();
        --m_busy;
        if (!walked) {
            m_outOfMemory.store(true, std::memory_order_relaxed);
            m_over = true;
            m_wake.notify_all();
            m_watchWake.notify_all();
        }
    }
}

bool Scheduler::walkFrom(Worker &worker, WorkItem item)
{
    FolderQueue &found = worker.m_found;
    try {
        // Folders without a pooled descriptor stay with the worker that
        // found them, depth first; it goes on with those it found with one
        // once it runs out of them. Either kind is shared only while
        // another worker is idle: a chain of single folders never passes
        // through the queue or wakes anyone.
        bool ownFolder = false; // item came from found.m_local
        for (;;) {
            found.m_pushedInRun = 0;
            if (worker.walk(item, found) && ownFolder)
                share(found); // what it found with descriptors need not wait for this worker's own
            if (!found.m_local.empty() && !outOfMemory()) {
                // Others with nothing to do take the shallowest, reopening
                // them from the target.
                if (found.m_local.size() > 1 && othersIdle())
                    lend(found.m_local);
                item = found.m_local.back();
                found.m_local.pop_back();
                ownFolder = true;
                continue;
            }
            worker.pause();
            if (outOfMemory() || !found.takeReady(item))
                return true;
            share(found);
            ownFolder = false;
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void FolderQueue::share()
{
    m_pushedInRun = 0;
    if (m_scheduler)
        m_scheduler->share(*this);
}

void Scheduler::lend(std::vector<WorkItem> &local)
{
    const std::size_t lent = local.size() / 2;
    unsigned woken = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.insert(m_queue.end(), local.begin(), local.begin() + std::ptrdiff_t(lent));
        for (std::size_t i = 0; i < lent && wakeOne(); ++i)
            ++woken;
        noteIdleWorkers();
    }
    local.erase(local.begin(), local.begin() + std::ptrdiff_t(lent));
    for (; woken > 0; --woken)
        m_wake.notify_one();
}

void Scheduler::noteIdleWorkers()
{
    const std::size_t awake = m_workers.size() - m_sleeping + m_wakeTokens;
    const bool idle = m_queue.empty() && !m_over && awake < m_awakeLimit &&
                      (m_sleeping > m_wakeTokens || m_workers.size() < m_maxThreads);
    if (m_othersIdle.load(std::memory_order_relaxed) != idle)
        m_othersIdle.store(idle, std::memory_order_relaxed);
}

void Scheduler::share(FolderQueue &found)
{
    if (found.m_readyCount.load(std::memory_order_relaxed) != 0 && othersIdle())
        handOver(found);
}

void Scheduler::handOver(FolderQueue &found)
{
    std::size_t given = 0;
    {
        // The worker's lock is held only while the folders move: waking
        // may make a thread.
        FolderQueue::ReadyGuard held(found);
        std::vector<WorkItem> &ready = found.m_ready;
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.insert(m_queue.end(), ready.begin(), ready.end());
        given = ready.size();
        ready.clear();
        found.m_readyCount.store(0, std::memory_order_relaxed);
    }
    unsigned woken = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (std::size_t i = 0; i < given && wakeOne(); ++i)
            ++woken;
        noteIdleWorkers();
    }
    for (; woken > 0; --woken)
        m_wake.notify_one();
}

} // namespace quarn
