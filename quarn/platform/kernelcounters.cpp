// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/kernelcounters.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarn {

long long nanoseconds(clockid_t clock)
{
    timespec now{};
    if (clock_gettime(clock, &now) != 0)
        return -1;
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

bool waitingInCall(pid_t thread)
{
    // The kernel tells the call a sleeping thread is in: "running" for one
    // that runs or may run, else the call's number (-1: not in a call, a
    // page fault) and its arguments.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", int(thread));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[256];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0)
        return false;
    text[got] = 0;
    char *end = nullptr;
    const long call = std::strtol(text, &end, 10);
    return end != text && call != SYS_futex;
}

DiskReads::DiskReads() : m_fd(::open("/proc/self/io", O_RDONLY | O_CLOEXEC))
{
    m_last = bytesRead(); // so that the first call already tells
}

DiskReads::~DiskReads()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DiskReads::grew()
{
    const long long now = bytesRead();
    const bool grew = m_last >= 0 && now > m_last;
    m_last = now;
    return grew;
}

long long DiskReads::bytesRead() const
{
    if (m_fd < 0)
        return -1;
    char text[512];
    const ssize_t got = ::pread(m_fd, text, sizeof text - 1, 0);
    if (got <= 0)
        return -1;
    text[got] = 0;
    const char *field = std::strstr(text, "\nread_bytes: ");
    return field ? std::strtoll(field + std::strlen("\nread_bytes: "), nullptr, 10) : -1;
}

} // namespace quarn
