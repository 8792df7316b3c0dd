// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "scheduler.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
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
    worker.m_scheduler->work(worker);
    return nullptr;
}

std::vector<std::unique_ptr<Scheduler::Worker>> Scheduler::run(const WorkItem &first, unsigned threads,
                                                               const WorkerFactory &makeWorker)
{
    m_queue.push_back(first);
    // Room for every thread before any starts: once one runs, a failed
    // allocation here would unwind past it and free the worker it walks with.
    std::vector<std::unique_ptr<Worker>> workers;
    workers.reserve(threads);
    std::vector<pthread_t> started;
    started.reserve(threads);
    workers.push_back(makeWorker(0));
    // The walk needs little stack (no recursion, buffers on the heap): small
    // stacks keep many threads within a small address-space limit.
    WalkRoom room;
    pthread_attr_t attributes;
    const bool attributesSet = pthread_attr_init(&attributes) == 0;
    if (attributesSet)
        pthread_attr_setstacksize(&attributes, workerStackSize);
    {
        std::lock_guard<std::mutex> guard(m_lock); // workers read m_threads
        for (unsigned i = 1; i < threads; ++i) {
            std::unique_ptr<Worker> worker;
            try {
                worker = makeWorker(i);
            } catch (const std::bad_alloc &) {
                break;
            }
            worker->m_scheduler = this;
            pthread_t thread;
            if (pthread_create(&thread, attributesSet ? &attributes : nullptr, threadMain, worker.get()) != 0)
                break;
            started.push_back(thread);
            workers.push_back(std::move(worker));
        }
        m_threads = unsigned(workers.size());
    }
    if (attributesSet)
        pthread_attr_destroy(&attributes);
    room.giveBack();
    work(*workers[0]);
    for (pthread_t thread : started)
        pthread_join(thread, nullptr);
    return workers;
}

void Scheduler::work(Worker &worker)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty() || m_busy == 0 || outOfMemory(); });
        if (m_queue.empty() || outOfMemory())
            break; // nothing queued and nobody walking: the walk is over
        WorkItem item = m_queue.back();
        m_queue.pop_back();
        ++m_busy;
        lock.unlock();
        const bool walked = walkFrom(worker, item);
        lock.lock();
        if (!walked) {
            m_outOfMemory.store(true, std::memory_order_relaxed);
            m_wake.notify_all(); // the walk is over: every worker leaves
        }
        if (--m_busy == 0 && m_queue.empty())
            m_wake.notify_all(); // the walk is over: every worker leaves
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

void Scheduler::share(Worker &worker)
{
    if (worker.ready.empty())
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.insert(m_queue.end(), worker.ready.begin(), worker.ready.end());
    }
    // One sleeper woken for each folder: waking all of them for every
    // folder made a deep tree cost each thread a wake-up per level.
    for (std::size_t i = 0; i < worker.ready.size() && i + 1 < std::size_t(m_threads); ++i)
        m_wake.notify_one();
    worker.ready.clear();
}

} // namespace quarn
