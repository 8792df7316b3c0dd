// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/descriptorbudget.h"

#include "platform/entryinfo.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace quarn {

namespace {

// Assumed free when the limit cannot be read: a cautious guess that still
// lets a few threads walk with a small pool.
constexpr long descriptorsIfLimitUnknown = 64;
// The soft limit is raised towards the hard one, but no further than this:
// a common soft limit of 1024 would otherwise cap the pool, and 65536 is far
// above the pool's cap plus the threads' own for any thread count used.
constexpr rlim_t raisedDescriptorLimit = 65536;
// Counting open descriptors one by one (without /proc) stops here: the
// kernel's default ceiling on a process's descriptors, so an unlimited soft
// limit cannot turn the count into an endless loop.
constexpr long countedDescriptorLimit = 1 << 20;
// Left to the rest of the process: the C library opens files of its own now
// and then (locale data, name lookups) and must not fail for the walk's
// sake, and the scheduler's watch keeps one open (the kernel's count of the
// process's reads) and opens one more now and then (a walker's state).
constexpr long sparedDescriptors = 4;
// A worker's own: the folder it is at and the next one (a subfolder, the
// parent, or a step of the path from the target).
constexpr long reopenDescriptorsPerThread = 2;
// A thread walks only if this many are free for it: its own two and two
// more for the pool, so with few descriptors free fewer threads walk, each
// with room to work.
constexpr long descriptorsPerThread = 4;
// The pool never holds more. Folders are taken depth first, so the queue
// rarely holds this many at once, and a folder beyond the pool is walked by
// the worker that found it; the walk's share of the system-wide file table
// stays modest.
constexpr long descriptorPoolCap = 4096;

// Descriptors the process may open between growTableAhead and the walk's
// budget: the export's temporary file, the progress line's terminal, a few
// of the C library's.
constexpr long openedBeforeBudget = 64;

// What a budget made with free descriptors free gives the threads and the pool.
struct Division
{
    unsigned threads;
    long pool;
    long walkDescriptors() const
    {
        return pool + reopenDescriptorsPerThread * long(threads) + sparedDescriptors;
    }
};

Division divide(long free, unsigned threadsWanted)
{
    const long usable = std::max(0L, free - sparedDescriptors);
    const long threadsAllowed = std::max(1L, usable / descriptorsPerThread);
    Division division;
    division.threads = unsigned(std::clamp<long>(long(std::max(1u, threadsWanted)), 1, threadsAllowed));
    division.pool =
        std::clamp<long>(usable - reopenDescriptorsPerThread * division.threads, 0, descriptorPoolCap);
    return division;
}

} // namespace

DescriptorBudget::DescriptorBudget(unsigned threadsWanted)
{
    const long free = freeDescriptors();
    const Division division = divide(free, threadsWanted);
    m_threads = division.threads;
    m_pool = int(division.pool);
    growDescriptorTable(free, division.walkDescriptors());
}

void DescriptorBudget::growTableAhead(unsigned threadsWanted)
{
    const long free = freeDescriptors();
    growDescriptorTable(free, divide(free, threadsWanted).walkDescriptors() + openedBeforeBudget);
}

// The kernel grows a process's descriptor table as descriptors are opened;
// with a second thread running, each time it grows waits for every processor
// to pass a quiescent state (about 10 ms, in which the walkers seem to wait
// on the disk). Grown before any thread is made (growTableAhead), it never
// grows later. Asks for nothing beyond the limit; failing is harmless.
void DescriptorBudget::growDescriptorTable(long free, long walkDescriptors)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return;
    const long cap = long(std::min<rlim_t>(limit.rlim_cur, countedDescriptorLimit));
    const long highest = std::min(cap - 1, cap - free + walkDescriptors);
    const int any = ::open("/", O_PATH | O_CLOEXEC);
    if (any < 0)
        return;
    const int last = ::fcntl(any, F_DUPFD_CLOEXEC, int(std::max(0L, highest)));
    if (last >= 0)
        ::close(last);
    ::close(any);
}

long freeDescriptors()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return descriptorsIfLimitUnknown;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, raisedDescriptorLimit);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    const long cap = long(std::min<rlim_t>(limit.rlim_cur, countedDescriptorLimit));
    long open = 0;
    int fdDir = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir >= 0) {
        char buffer[4096];
        long got;
        while ((got = ::syscall(SYS_getdents64, fdDir, buffer, sizeof buffer)) > 0)
            for (long offset = 0; offset < got;) {
                auto *entry = reinterpret_cast<LinuxDirent64 *>(buffer + offset);
                offset += entry->d_reclen;
                if (entry->d_name[0] != '.' && entry->d_name[0] != 0 && std::atol(entry->d_name) < cap)
                    ++open;
            }
        ::close(fdDir);
        open -= fdDir < cap; // the listing's own descriptor
    } else {
        for (int fd = 0; fd < cap; ++fd)
            open += ::fcntl(fd, F_GETFD) != -1;
    }
    return cap - open;
}

bool descriptorsToSpare(long count)
{
    constexpr long targetDescriptors = 1; // held by the walk through the whole walk
    return freeDescriptors() >= count + sparedDescriptors + descriptorsPerThread + targetDescriptors;
}

} // namespace quarn
