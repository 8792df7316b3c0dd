// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/walkevents.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace quarn {

struct DirNode;

// The line a scan keeps on a terminal's standard error: entries and bytes
// counted so far and a folder being read. A thread of its own draws it from
// half a second into the walk on, at most ten times a second, and clears it
// when stopped, or when SIGINT, SIGTERM or SIGQUIT ends the process; the
// walking threads only store counters of their own, once per folder. It
// never waits for the terminal: what a terminal whose output is suspended,
// or that nobody reads, does not take at once is dropped.
class Progress final : public WalkEvents
{
public:
    explicit Progress(unsigned workers); // workers: slots for walking threads 0 to workers - 1
    ~Progress();

    void start();
    // Ends the drawing and clears the line. The folders passed to folderEntered()
    // must stay alive until then.
    void stop();

    // Drawn from the walk's start to its stop. Each walking thread stores
    // the folder it starts and, when it is done with it, what it counted.
    void walkStarted() override { start(); }
    void walkStopped() override { stop(); }
    void folderEntered(unsigned worker, const DirNode *folder) override
    {
        m_slots[worker].folder.store(folder, std::memory_order_release);
    }
    void folderListed(unsigned worker, const DirNode *, std::uint64_t entries, std::uint64_t bytes) override
    {
        Slot &slot = m_slots[worker];
        slot.entries.store(slot.entries.load(std::memory_order_relaxed) + entries, std::memory_order_relaxed);
        slot.bytes.store(slot.bytes.load(std::memory_order_relaxed) + bytes, std::memory_order_relaxed);
    }

    // The line for these counts and folder path, at most columns wide (a
    // wide character counted as two): the path shortened from the front
    // and escaped like every name on standard error.
    static std::string lineText(std::uint64_t entries, std::uint64_t bytes, std::string_view path,
                                std::size_t columns);

private:
    struct alignas(64) Slot // a cache line each: no walking thread writes where another does
    {
        std::atomic<const DirNode *> folder{nullptr};
        std::atomic<std::uint64_t> entries{0};
        std::atomic<std::uint64_t> bytes{0};
    };

    static void *threadMain(void *progress);
    void run();
    void draw();

    std::unique_ptr<Slot[]> m_slots;
    unsigned m_workers;
    pthread_t m_thread{};
    bool m_running = false; // m_thread was started and is not joined yet
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    // Owned by the drawing thread.
    const DirNode *m_folder = nullptr;
    std::unique_ptr<const DirNode *[]> m_seen; // each slot's folder at the last drawing
    std::string m_lastText;
    unsigned m_nextSlot = 0;
    // SIGINT, SIGTERM, SIGHUP and SIGQUIT while drawing: whether taken.
    bool m_signalsTaken[4] = {};
    int m_terminal = -1; // owned: standard error's terminal opened again, non-blocking; or -1
};

} // namespace quarn
