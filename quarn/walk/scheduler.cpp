// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/scheduler.h"

#include "platform/kernelcounters.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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
        m_workers[0]->m_clockKnown = pthread_getcpuclockid(pthread_self(), &m_workers[0]->m_clock) == 0;
        m_workers[0]->m_thread = pid_t(::syscall(SYS_gettid));
        // Made later, a thread could take the last of a limited address
        // space from the walk; parked, it costs the walkers nothing.
        const std::size_t made = room.held() ? m_maxThreads : m_baseAwake;
        while (m_workers.size() < made && addThread())
            ;
        if (m_maxThreads > m_baseAwake)
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
    try {
        // The worker goes on with one of the folders it found itself and
        // shares the others: a chain of single folders never passes through
        // the queue or wakes anyone.
        for (;;) {
            worker.walk(item);
            if (worker.ready.empty() || outOfMemory())
                return true;
            item = worker.ready.back();
            worker.ready.pop_back();
            share(worker);
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void Scheduler::Worker::shareReady()
{
    if (m_scheduler)
        m_scheduler->share(*this);
}

void Scheduler::Worker::lend(std::vector<WorkItem> &local)
{
    if (m_scheduler)
        m_scheduler->lend(local);
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

void Scheduler::share(Worker &worker)
{
    if (worker.ready.empty())
        return;
    unsigned woken = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.insert(m_queue.end(), worker.ready.begin(), worker.ready.end());
        for (std::size_t i = 0; i < worker.ready.size() && wakeOne(); ++i)
            ++woken;
        noteIdleWorkers();
    }
    for (; woken > 0; --woken)
        m_wake.notify_one();
    worker.ready.clear();
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
        // While the walk waits on reads from the disk, or walkers wait in
        // file-system calls and the processors idle, twice as many walkers as are
        // awake; while it reads, as many; otherwise one fewer a look, so
        // that a look that happens to find them between two reads does not
        // park them all.
        const unsigned awake = unsigned(m_workers.size()) - m_sleeping + m_wakeTokens;
        if ((readFromDisk && waiting > 0) || (inCall && processorsIdle))
            m_awakeLimit = std::max(m_awakeLimit, 2 * awake);
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
    }
}

} // namespace quarn
