// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The walk put together: the target checked and opened, workers made of a cursor and a lister, the files of
// several links placed and the sizes summed.

#include "walk/walker.h"

#include "core/folderstore.h"
#include "core/hardlinkset.h"
#include "core/walkevents.h"
#include "platform/descriptorbudget.h"
#include "platform/entryinfo.h"
#include "walk/foldercursor.h"
#include "walk/linkplacement.h"
#include "walk/lister.h"
#include "walk/scheduler.h"

#include <sched.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace quarn {

namespace {

// One walking thread: moves its cursor to each folder the scheduler gives
// it and lists it there.
class WalkWorker final : public Scheduler::Worker
{
public:
    WalkWorker(const ListerContext &context, int rootFd, unsigned index)
        : lister(context, index), m_store(context.store),
          m_cursor(rootFd, context.budget,
                   context.settings.walk.followLinks ? followedFolderOpenFlags : folderOpenFlags),
          m_events(context.events), m_index(index)
    {}

    bool walk(const WorkItem &item, FolderQueue &found) override
    {
        if (!enter(item))
            return false;
        lister.list(item.dir, m_cursor.fd(), m_cursor.path(), found);
        return true;
    }
    void pause() override { m_cursor.release(); }

    Lister lister;

private:
    // Moves the cursor to item's folder. False when there is nothing to
    // list: it cannot be opened (reported) or it is the mount point of a
    // virtual file system.
    bool enter(const WorkItem &item)
    {
        if (item.fd >= 0) {
            m_cursor.start(item.dir, item.fd);
        } else if (int error = m_cursor.moveTo(item.dir)) {
            m_store.fail(item.dir, displayPath(item.dir), error);
            return false;
        }
        // statfs only at mount points; one of a virtual file system counts
        // as empty, and the cursor stays, it is a folder like any other.
        struct statfs fileSystem;
        if (!(item.mountRoot && ::fstatfs(m_cursor.fd(), &fileSystem) == 0 &&
              isVirtualFileSystem(fileSystem.f_type)))
            return true;
        if (m_events)
            m_events->kernelFolder(m_index, item.dir);
        return false;
    }

    FolderStore &m_store;
    FolderCursor m_cursor;
    WalkEvents *m_events; // null: nobody follows the walk
    unsigned m_index;
};

// What the symbolic link at path points to; empty when path is no link.
std::string linkTarget(const std::string &path)
{
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0)
            return {};
        if (std::size_t(length) < target.size()) {
            target.resize(std::size_t(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// Opens the target folder, without following a symbolic link (unless
// follow), for the walk to reopen folders below it from; the walk lists a
// duplicate of it. It must be the folder looked at as info: a target
// changed in between is an error, never a walk of something else. A path
// ending in a slash names what a link points to in both looks. Returns the
// descriptor, info now what was opened; or -1, with error set.
int openTarget(const std::string &path, bool follow, Measure measure, EntryInfo &info, int &error)
{
    const int fd = ::open(path.c_str(), follow ? followedFolderOpenFlags : folderOpenFlags);
    EntryInfo opened;
    error = fd < 0 ? errno : 0;
    if (!error && !statEntry(fd, "", AT_EMPTY_PATH, measure, opened))
        error = errno;
    else if (!error && (opened.device != info.device || opened.inode != info.inode))
        error = ENOENT; // what was looked at is not there any more
    if (error) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    info = opened;
    return fd;
}

// A descriptor closed when it goes out of scope.
class OwnedDescriptor
{
public:
    explicit OwnedDescriptor(int fd) : fd(fd) {}
    ~OwnedDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    OwnedDescriptor(const OwnedDescriptor &) = delete;
    OwnedDescriptor &operator=(const OwnedDescriptor &) = delete;

    const int fd;
};

// Tells events that the walk stopped when it goes out of scope: once the
// walk is over, or when memory ran out in it.
class WalkStopped
{
public:
    explicit WalkStopped(WalkEvents *events) : m_events(events) {}
    ~WalkStopped()
    {
        if (m_events)
            m_events->walkStopped();
    }
    WalkStopped(const WalkStopped &) = delete;
    WalkStopped &operator=(const WalkStopped &) = delete;

private:
    WalkEvents *m_events;
};

// Walks the folders below store's root, opened as rootFd, with as many
// threads as the descriptors allow, then counts the files of several links
// at their first names. Throws std::bad_alloc, the walk stopped, when
// memory runs out.
void walkFolders(FolderStore &store, int rootFd, const ScanSettings &settings, WalkEvents *events)
{
    DescriptorBudget budget(settings.walk.workers());
    WalkEvents *const files = events ? events->fileListener() : nullptr;
    const ListerContext context{settings, budget, store, events, events ? events->entryListener() : nullptr,
                                files};
    if (events)
        events->walkStarted();
    const WalkStopped stopped(events); // the progress line shows the walk's folders: stopped before treeDone
    Scheduler scheduler;
    const unsigned threads = budget.threads();
    const unsigned startThreads = settings.walk.threads ? threads : std::min(threads, availableProcessors());
    const auto workers =
        scheduler.run(WorkItem{&store.dirs()[0], -1, false}, threads, startThreads,
                      [&](unsigned index) { return std::make_unique<WalkWorker>(context, rootFd, index); });
    if (scheduler.outOfMemory())
        throw std::bad_alloc();
    std::vector<LinkNames *> linkNames;
    for (const auto &worker : workers) // all made above
        linkNames.push_back(&static_cast<WalkWorker &>(*worker).lister.linkNames);
    placeLinks(store.dirs(), linkNames, settings.shared.counted, files);
}

} // namespace

std::string displayName(const std::string &path)
{
    std::size_t length = path.size();
    if (length > 2 && path[length - 1] == '/')
        while (length > 1 && path[length - 2] == '/')
            --length;
    return path.substr(0, length);
}

unsigned availableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

unsigned defaultThreadCount()
{
    return std::max(64u, availableProcessors());
}

unsigned WalkOptions::workers() const
{
    return threads ? threads : defaultThreadCount();
}

ScanStatus scan(const std::string &path, const ScanSettings &settings, WalkEvents *events)
{
    if (settings.walk.exclusion)
        settings.walk.exclusion->setTarget(displayName(path));
    EntryInfo info;
    const bool follow = settings.walk.followTarget || settings.walk.followLinks;
    if (!statEntry(AT_FDCWD, path.c_str(), 0, settings.walk.measure, info, follow)) {
        reportError(path, errorText(errno));
        return ScanStatus::TargetUnreadable;
    }
    if (settings.shared.counted && !settings.shared.counted->insert(dev_t(info.device), ino_t(info.inode)))
        return ScanStatus::AlreadyCounted;
    if (!info.isDirectory) {
        if (events)
            events->fileTarget(displayName(path), info, follow ? std::string() : linkTarget(path));
        return ScanStatus::Complete;
    }

    int error = 0;
    const OwnedDescriptor root(openTarget(path, follow, settings.walk.measure, info, error));
    FolderStore store(displayName(path), info.device, info.inode, info.bytes);
    if (events) {
        events->subfolderNoted(0, store.root().name(), info);
        events->folderAdded(0, &store.root());
    }
    if (root.fd < 0)
        store.fail(&store.root(), path, error); // it counts its own size, as du reports it
    else
        walkFolders(store, root.fd, settings, events);

    DirNodeStore &dirs = store.dirs();
    for (std::size_t i = dirs.size(); i-- > 1;)
        dirs[i].parent->totalBytes = addSizes(dirs[i].parent->totalBytes, dirs[i].totalBytes);
    if (events)
        events->treeDone(dirs, store.folderErrors());
    return store.hadErrors() ? ScanStatus::Incomplete : ScanStatus::Complete;
}

} // namespace quarn
