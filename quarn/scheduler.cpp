// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "scheduler.h"

#include <pthread.h>
#include <unistd.h>

#include <new>

namespace quarn {

namespace {

// Stack of each walking thread but the main one: the walk has no recursion
// and keeps its buffers on the heap, so a little is plenty, and many threads
// fit a small address-space limit.
constexpr std::size_t workerStackSize = 256 * 1024;

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
    std::vector<std::unique_ptr<Worker>> workers;
    workers.push_back(makeWorker(0));
    std::vector<pthread_t> started;
    // The walk needs little stack (no recursion, buffers on the heap): small
    // stacks keep many threads within a small address-space limit.
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
    work(*workers[0]);
    for (pthread_t thread : started)
        pthread_join(thread, nullptr);
    return workers;
}

void Scheduler::work(Worker &worker)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty() || m_busy == 0; });
        if (m_queue.empty())
            break; // nothing queued and nobody walking: the walk is over
        WorkItem item = m_queue.back();
        m_queue.pop_back();
        ++m_busy;
        lock.unlock();
        // The worker goes on with one of the folders it found itself and
        // shares the others: a chain of single folders never passes through
        // the queue or wakes anyone.
        for (;;) {
            worker.walk(item);
            if (worker.ready.empty())
                break;
            item = worker.ready.back();
            worker.ready.pop_back();
            share(worker);
        }
        lock.lock();
        if (--m_busy == 0 && m_queue.empty())
            m_wake.notify_all(); // the walk is over: every worker leaves
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
