// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the scheduler's watch reads of the process from the kernel: a thread's processor time, whether a
// thread waits in a call to the kernel, and how much the process has read from block devices.

#pragma once

#include <sys/types.h>
#include <time.h>

namespace quarn {

// The time of clock in nanoseconds, or -1 if it cannot be read.
long long nanoseconds(clockid_t clock);

// True if the thread sleeps in a call to the kernel other than a lock's
// (futex), or on a page fault: waiting for a disk, a server or a FUSE
// daemon alike, whatever the file system. A walker that used next to no
// processor time may instead have waited for a processor (it is runnable)
// or for a lock held by another walker, which more threads would not help.
bool waitingInCall(pid_t thread);

// The kernel's count of what this process has read from block devices
// (/proc/self/io): a walk whose count grows is reading folders and inodes
// from the disk, and more requests at once keep the disk busier. One read
// of a descriptor kept open a look.
class DiskReads
{
public:
    DiskReads();
    ~DiskReads();
    DiskReads(const DiskReads &) = delete;
    DiskReads &operator=(const DiskReads &) = delete;

    // True if the count grew since the last call (or since it was made);
    // false where the kernel does not tell (no such accounting, /proc not
    // mounted).
    bool grew();

private:
    long long bytesRead() const;

    int m_fd;              // /proc/self/io, or -1
    long long m_last = -1; // bytes read at the last look, or -1
};

} // namespace quarn
