// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The walk's file descriptors: how many threads may walk, and the shared pool queued folders hold open.

#pragma once

#include <atomic>

namespace quarn {

// Queued folders may each hold one descriptor open, taken from a shared
// pool; every walking thread keeps two of its own for the folders it walks
// itself, going down from a folder to its subfolders and back up with "..".
// Together they never exceed what was free when the walk began, so no folder
// is lost for want of a descriptor.
class DescriptorBudget
{
public:
    // Divides what is free now between at most threadsWanted threads and the pool.
    explicit DescriptorBudget(unsigned threadsWanted);
    // Grows the process's descriptor table for the budgets of walks of up to
    // threadsWanted threads to come. To be called while the process has one
    // thread: once a second one runs, each growth of the table costs a wait
    // of milliseconds.
    static void growTableAhead(unsigned threadsWanted);

    // Threads that may walk, at least 1: each with room to work.
    unsigned threads() const { return m_threads; }
    // Takes one descriptor from the pool; false if none is left.
    bool take()
    {
        int free = m_pool.load(std::memory_order_relaxed);
        while (free > 0 && !m_pool.compare_exchange_weak(free, free - 1, std::memory_order_relaxed))
            ;
        return free > 0;
    }
    // Gives back one taken.
    void give() { m_pool.fetch_add(1, std::memory_order_relaxed); }

private:
    static void growDescriptorTable(long free, long walkDescriptors);

    unsigned m_threads = 1;
    std::atomic<int> m_pool{0};
};

// Descriptors free for this process: the limit (raised towards the hard
// limit where allowed) less those open below it. Descriptors numbered above
// the limit take nothing from it.
long freeDescriptors();

// Whether count more descriptors may be held open through the walk and
// still leave the walk what one thread needs at its best (its own, a pool,
// the target's). What a run opens beside the walk (the progress line's
// terminal, the export's temporary file) is opened before the walk divides
// what is free, and only when this says so: else it makes do without.
bool descriptorsToSpare(long count);

} // namespace quarn
