// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/foldercursor.h"

#include "platform/descriptorbudget.h"
#include "platform/entryinfo.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace quarn {

namespace {

// When the process has none free after all (something outside the walk's
// count holds them), reopening tries again every millisecond, for two
// seconds, before the folder is reported unreadable.
constexpr int reopenRetries = 2000;
constexpr auto reopenRetryPause = std::chrono::milliseconds(1);

} // namespace

void FolderCursor::start(const DirNode *dir, int pooledFd)
{
    release();
    m_path.moveTo(dir);
    m_fd = pooledFd;
    m_pooled = true;
}

int FolderCursor::moveTo(const DirNode *dir)
{
    if (dir->parent && climbTo(dir->parent)) {
        m_scratch.assign(dir->name());     // names are kept without a terminating NUL
        close(m_parentFd, m_parentPooled); // two of the worker's own at most: the parent and the child
        const int fd = ::openat(m_fd, m_scratch.c_str(), m_openFlags);
        if (fd >= 0) {
            m_parentFd = m_fd;
            m_parentPooled = m_pooled;
            m_fd = fd;
            m_pooled = false;
            m_path.moveTo(dir);
            return 0;
        }
        if (!isOutOfDescriptors(errno))
            return errno;
    }
    // From the target, with the worker's own descriptors.
    release();
    const int fd = reopen(dir);
    if (fd < 0)
        return errno;
    m_fd = fd;
    m_path.moveTo(dir);
    return 0;
}

bool FolderCursor::climbTo(const DirNode *folder)
{
    if (m_fd < 0 || !m_path.holds(folder)) {
        release();
        return false;
    }
    if (m_path.back() != folder && m_parentFd >= 0) {
        close(m_fd, m_pooled);
        m_fd = m_parentFd;
        m_pooled = m_parentPooled;
        m_parentFd = -1;
        m_path.pop();
    }
    close(m_parentFd, m_parentPooled);
    while (m_path.back() != folder) {
        const int up = ::openat(m_fd, "..", folderOpenFlags);
        release();
        m_path.pop();
        m_fd = up;
        if (up < 0 || !isFolder(up, *m_path.back())) {
            release();
            return false;
        }
    }
    return true;
}

void FolderCursor::close(int &fd, bool &pooled)
{
    if (fd >= 0) {
        ::close(fd);
        if (pooled)
            m_budget.give();
    }
    fd = -1;
    pooled = false;
}

void FolderCursor::release()
{
    close(m_parentFd, m_parentPooled);
    close(m_fd, m_pooled);
}

// Opens dir again below the target, in steps short enough for the system's
// path limit however deep dir lies, and checks that what it opened is dir:
// the path may have been changed (a folder swapped for a symbolic link) since
// dir was listed. Holds two descriptors at most.
int FolderCursor::reopenOnce(const DirNode *dir)
{
    if (!dir->parent)
        return ::fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0);
    std::vector<const DirNode *> chain;
    for (const DirNode *d = dir; d->parent; d = d->parent)
        chain.push_back(d);
    int at = m_rootFd;
    std::string &step = m_scratch;
    auto i = chain.rbegin();
    while (i != chain.rend()) {
        step.clear();
        while (i != chain.rend() && step.size() + (*i)->name().size() + 1 < PATH_MAX / 2) {
            if (!step.empty())
                step += '/';
            step += (*i)->name();
            ++i;
        }
        int fd = ::openat(at, step.c_str(), m_openFlags);
        int error = errno;
        if (at != m_rootFd)
            ::close(at);
        if (fd < 0) {
            errno = error;
            return -1;
        }
        at = fd;
    }
    if (!isFolder(at, *dir)) {
        ::close(at);
        errno = ENOENT; // not there any more: what is there now is another folder
        return -1;
    }
    return at;
}

// reopenOnce, waiting a while for a descriptor if the process has none free
// for the moment (something outside the walk's count holds them).
int FolderCursor::reopen(const DirNode *dir)
{
    for (int attempt = 0;; ++attempt) {
        int fd = reopenOnce(dir);
        if (fd >= 0 || !isOutOfDescriptors(errno) || attempt == reopenRetries)
            return fd;
        std::this_thread::sleep_for(reopenRetryPause);
    }
}

} // namespace quarn
