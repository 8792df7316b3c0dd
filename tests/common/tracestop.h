// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Stopping a traced program at a chosen system call: strace injects SIGSTOP
// there (`-e inject=CALL:signal=SIGSTOP`) and writes its trace to a FIFO
// that the test reads, so the test acts while the program is held, then
// lets it go on with SIGCONT. Deterministic: what the program sees does not
// depend on timing.

#pragma once

#include <QString>

#include <sys/types.h>

// A FIFO for strace's trace (strace -o PATH), opened for reading before
// strace has a writer on it, so the open does not wait.
class TraceFifo
{
public:
    explicit TraceFifo(const QString &path);
    ~TraceFifo();
    TraceFifo(const TraceFifo &) = delete;
    TraceFifo &operator=(const TraceFifo &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Reads the trace until a thread stops by SIGSTOP: its id, or 0 when the
    // trace ends first or nothing comes for a minute (a hang).
    pid_t stoppedThread();
    // Lets the stopped program go on with SIGCONT to PROCESS, and reads the
    // trace until it ends (the program and strace are gone) or a minute
    // passes. A SIGCONT that comes before strace has put every thread in
    // its listening stop is lost, and the program stays stopped: SIGCONT
    // goes again once all its threads have stayed stopped for a second
    // (sooner, it could come while strace puts a thread in that stop,
    // which then fails).
    void continueUntilEnd(pid_t process);

private:
    int m_fd = -1;
};
