// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Where the signals that end the process are taken during a walk: one thread that makes no file-system call.

#pragma once

#include <pthread.h>
#include <signal.h>

namespace quarn {

// While it lives (or until stop()), SIGINT, SIGTERM, SIGHUP and SIGQUIT are
// blocked in the thread that made it, and so in every thread it starts, and
// one thread of its own takes them and does nothing else. A handler (the
// progress line's, the export's) then runs at once, never after a walker's
// request to a file system that the kernel does not abandon (a FUSE reply,
// a network round trip); when the process ends by the signal, every thread
// ends with it, each as soon as it is not held in such a request, and none
// starts or reports anything more. Make it in the main thread before any
// walker; where the thread cannot be had, the signals are left as they were.
class EndingSignalsThread
{
public:
    EndingSignalsThread();
    ~EndingSignalsThread() { stop(); }
    EndingSignalsThread(const EndingSignalsThread &) = delete;
    EndingSignalsThread &operator=(const EndingSignalsThread &) = delete;

    // Ends the thread and gives the signals back to the caller, as they were:
    // for the steps after the walk that hold them off themselves (an export
    // put in place), which only the caller's mask could then do. A signal
    // that came meanwhile is taken as soon as the caller's mask lets it.
    void stop();

    // What stop() tells the thread.
    struct StopState
    {
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        pthread_cond_t stopped = PTHREAD_COND_INITIALIZER;
        bool stopping = false; // under mutex
    };

private:
    pthread_t m_thread{};
    bool m_running = false;
    StopState m_stop;
    sigset_t m_before; // the caller's mask before
};

} // namespace quarn
