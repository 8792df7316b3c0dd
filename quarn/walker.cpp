// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walker.h"

#include "dirtree.h"
#include "exclusion.h"
#include "hardlinkset.h"
#include "progress.h"
#include "selection.h"
#include "utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quarn {

namespace {

constexpr std::size_t direntBufferSize = 128 * 1024; // bytes per getdents64 call
constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// The walk's budget of file descriptors. Queued folders may each hold one
// open, taken from a shared pool; every worker keeps two of its own for the
// folders it walks itself, going down from a folder to its subfolders and back
// up with "..". Together they never exceed what was free when the walk
// began, so no folder is lost for want of a descriptor.

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
// and then (locale data, name lookups) and must not fail for the walk's sake.
constexpr long sparedDescriptors = 2;
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
// When the process has none free after all (something outside the walk's
// count holds them), reopening tries again every millisecond, for two
// seconds, before the folder is reported unreadable.
constexpr int reopenRetries = 2000;
constexpr auto reopenRetryPause = std::chrono::milliseconds(1);

// Stack of each walking thread but the main one: the walk has no recursion
// and keeps its buffers on the heap, so a little is plenty, and many threads
// fit a small address-space limit.
constexpr std::size_t workerStackSize = 256 * 1024;

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

std::string errorText(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer); // GNU variant: returns the text
}

void reportError(const std::string &path, const std::string &reason)
{
    // Escaped: a name holding a line end could otherwise forge a line.
    std::string line = "quarn: cannot read '" + escapedForLog(path) + "': " + reason + "\n";
    // One write per line keeps lines from different threads whole.
    writeErrorLine(line);
}

// Kernel file systems whose contents are not stored data: their mount points
// count as empty directories.
bool isVirtualFileSystem(long type)
{
    // Not in every version of linux/magic.h.
    constexpr unsigned long configFsMagic = 0x62656570;
    constexpr unsigned long fuseControlMagic = 0x65735543;
    constexpr unsigned long messageQueueMagic = 0x19800202;
    switch (static_cast<unsigned long>(type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case configFsMagic:
    case DEVPTS_SUPER_MAGIC:
    case BINFMTFS_MAGIC:
    case EFIVARFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case NSFS_MAGIC:
    case fuseControlMagic:
    case messageQueueMagic:
        return true;
    default:
        return false;
    }
}

// The kernel's own device number of a statx result: 12 bits of major, 20 of minor.
std::uint32_t deviceOf(const struct statx &sx)
{
    return (sx.stx_dev_major << 20) | (sx.stx_dev_minor & 0xFFFFF);
}

// What the walk needs to know of an entry.
struct EntryInfo
{
    std::uint32_t device;
    std::uint64_t inode;
    std::uint64_t bytes;
    std::uint32_t links;
    bool isDirectory;
    bool mountRoot;      // the root of a mount (or on another device than its parent, where unknown)
    bool mountRootKnown; // the kernel tells mount roots apart
};

// statx of name in dirFd without following a final symbolic link or
// triggering an automount (as stat does).
bool statEntry(int dirFd, const char *name, int extraFlags, bool apparentSize, EntryInfo &info)
{
    struct statx sx;
    constexpr unsigned mask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | extraFlags, mask, &sx) != 0)
        return false;
    info.device = deviceOf(sx);
    info.inode = sx.stx_ino;
    info.bytes = apparentSize ? std::uint64_t(sx.stx_size) : std::uint64_t(sx.stx_blocks) * 512;
    info.links = sx.stx_nlink;
    info.isDirectory = S_ISDIR(sx.stx_mode);
    info.mountRootKnown = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
    info.mountRoot = (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return true;
}

bool isOutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// True if fd is the directory dir was created for (same device and inode).
bool isFolder(int fd, const DirNode &dir)
{
    struct statx sx;
    return ::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO, &sx) == 0 &&
           sx.stx_ino == dir.inode && deviceOf(sx) == dir.device;
}

struct WorkItem
{
    DirNode *dir;
    int fd; // open descriptor of dir holding one of the shared pool, or -1: opened by whoever walks it
    bool mountRoot; // dir may be a mount point: look at its file system type
};

// A subdirectory found while listing one directory; its name lives in the
// lister's name arena so listing allocates nothing per entry.
struct FoundDir
{
    std::size_t nameOffset;
    std::size_t nameLength;
    std::uint32_t device;
    std::uint64_t inode;
    std::uint64_t bytes;
    int fd;
    int openError;
    bool mountRoot;
    bool insideItself; // repeats one of its ancestors (through a bind mount): counts nothing
};

// The descriptor a worker is at while it walks folders of its own.
struct Cursor
{
    int fd = -1;
    bool pooled = false; // taken from the shared pool, given back when closed
};

// Descriptors free for this process: the limit (raised towards the hard
// limit, up to raisedDescriptorLimit, where allowed) less those open below
// it. Descriptors numbered above the limit take nothing from it.
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

class Walk
{
public:
    Walk(const ScanSettings &settings, int rootFd, const std::string &rootName, const EntryInfo &root);
    ~Walk();
    DirNodeStore &dirs() { return m_dirs; }
    void run(TopFiles &topFiles);
    bool hadErrors() const { return m_errors.load(); }
    const FolderErrors &folderErrors() const { return m_folderErrors; }

private:
    struct Worker
    {
        Worker(Walk *walk, unsigned workerIndex, std::size_t top, std::uint32_t maxDepth)
            : walk(walk), index(workerIndex), topFiles(top, maxDepth), buffer(new char[direntBufferSize])
        {}
        Walk *walk;
        unsigned index; // its slot in the progress
        TopFiles topFiles;
        std::unique_ptr<char[]> buffer;
        std::string nameArena;
        std::vector<FoundDir> found;
        std::vector<WorkItem> ready;       // subfolders holding a pooled descriptor, for any worker
        std::vector<WorkItem> local;       // subfolders without one, for this worker: walked depth first
        std::vector<const DirNode *> path; // from the folder taken from the queue down to the cursor
        std::string pathScratch;
        FolderFilter filter;
    };

    static void *threadMain(void *worker);
    void work(Worker &worker);
    // Walks item's folder and, depth first, the subfolders that found no
    // pooled descriptor; those that did go to worker.ready.
    void walkItem(Worker &worker, const WorkItem &item);
    // Lists dir through fd: its files counted, its subfolders handed on.
    void listFolder(Worker &worker, DirNode *dir, int fd);
    // Moves the cursor to item's folder from its parent, climbing from
    // where the cursor is; reopens it from the target when the way back up
    // is lost. False when there is nothing to list: it cannot be opened
    // (reported) or it is the mount point of a virtual file system.
    bool enter(Worker &worker, const WorkItem &item, Cursor &cursor);
    // Climbs the cursor up worker.path to folder with "..", checking each
    // step against the folder listed there. False, with the cursor released,
    // if folder is not on the path or a step does not lead where it should.
    bool climbTo(Worker &worker, const DirNode *folder, Cursor &cursor);
    void release(Cursor &cursor);
    // Reads every entry of dir through fd: files counted in dir and offered
    // to the top files, subfolders noted in worker.found.
    void listEntries(Worker &worker, DirNode *dir, int fd);
    // Notes the subfolder name of dir in worker.found, with whether it is a
    // mount root and whether it repeats one of its ancestors.
    void noteSubfolder(Worker &worker, const DirNode *dir, const char *name, const EntryInfo &info);
    // Opens worker.found's folders through their parent's fd while the pool
    // has descriptors to spare; the rest stay with this worker.
    void openSubfolders(Worker &worker, int fd);
    // Adds worker.found's folders to the tree below dir, hands them to
    // worker.ready or worker.local and reports those that could not be opened.
    void queueSubfolders(Worker &worker, DirNode *dir);
    // Hands worker.ready to the shared queue.
    void share(Worker &worker);
    int reopen(Worker &worker, const DirNode *dir);
    int reopenOnce(Worker &worker, const DirNode *dir);
    static bool showsInside(const DirNode *dir, std::uint32_t device, std::uint64_t inode);
    bool repeatsMountRoot(const DirNode *dir, std::uint32_t device, std::uint64_t inode);
    void fail(const DirNode *dir, const std::string &path, int error) { fail(dir, path, errorText(error)); }
    void fail(const DirNode *dir, const std::string &path, const std::string &reason);
    const char *keepName(const char *name, std::size_t length);
    bool takeDescriptor();
    void giveDescriptor() { m_pool.fetch_add(1, std::memory_order_relaxed); }

    const ScanSettings &m_settings;
    int m_rootFd;
    std::string m_rootName;
    std::uint32_t m_rootDevice;
    std::uint64_t m_rootInode;
    unsigned m_threads = 1;
    // Descriptors that queued directories may hold open; every worker keeps
    // reopenDescriptorsPerThread more of its own.
    std::atomic<int> m_pool{0};
    std::atomic<bool> m_errors{false};
    HardLinkSet m_hardLinks;

    std::mutex m_lock; // guards m_dirs (growth), the name chunks, m_queue and m_busy
    std::condition_variable m_wake;
    DirNodeStore m_dirs;
    std::vector<std::unique_ptr<char[]>> m_nameChunks;
    char *m_nameFree = nullptr;
    std::size_t m_nameLeft = 0;
    std::vector<WorkItem> m_queue; // taken from the back: depth first keeps few descriptors open
    unsigned m_busy = 0;           // workers walking a folder right now

    // Mount roots below the target that are walked, by inode. A folder that
    // repeats one of its ancestors is a mount root itself, the target, or
    // the directory of such a mount root met again below it.
    std::mutex m_mountLock;
    std::unordered_multimap<std::uint64_t, const DirNode *> m_mountRoots;
    std::atomic<bool> m_anyMountRoot{false};

    std::mutex m_errorLock;
    FolderErrors m_folderErrors;
};

Walk::Walk(const ScanSettings &settings, int rootFd, const std::string &rootName, const EntryInfo &root)
    : m_settings(settings), m_rootFd(rootFd), m_rootName(rootName), m_rootDevice(root.device),
      m_rootInode(root.inode)
{
    const long usable = std::max(0L, freeDescriptors() - sparedDescriptors);
    const long threadsAllowed = std::max(1L, usable / descriptorsPerThread);
    m_threads = unsigned(std::clamp<long>(long(std::max(1u, settings.threads)), 1, threadsAllowed));
    m_pool = int(std::clamp<long>(usable - reopenDescriptorsPerThread * m_threads, 0, descriptorPoolCap));
    DirNode node;
    node.nameData = m_rootName.c_str();
    node.device = root.device;
    node.inode = root.inode;
    node.totalBytes = root.bytes;
    m_dirs.add() = node;
}

Walk::~Walk()
{
    for (const WorkItem &item : m_queue)
        if (item.fd >= 0)
            ::close(item.fd);
}

bool Walk::takeDescriptor()
{
    int free = m_pool.load(std::memory_order_relaxed);
    while (free > 0 && !m_pool.compare_exchange_weak(free, free - 1, std::memory_order_relaxed))
        ;
    return free > 0;
}

const char *Walk::keepName(const char *name, std::size_t length)
{
    const std::size_t kept = length + 2; // length byte, name, NUL
    if (kept > m_nameLeft) {
        const std::size_t size = 64 * 1024;
        m_nameChunks.emplace_back(new char[size]);
        m_nameFree = m_nameChunks.back().get();
        m_nameLeft = size;
    }
    char *at = m_nameFree;
    at[0] = char(std::uint8_t(length));
    std::memcpy(at + 1, name, length);
    at[length + 1] = 0;
    m_nameFree += kept;
    m_nameLeft -= kept;
    return at;
}

void Walk::fail(const DirNode *dir, const std::string &path, const std::string &reason)
{
    reportError(path, reason);
    if (dir) {
        std::lock_guard<std::mutex> guard(m_errorLock);
        m_folderErrors.emplace(dir, reason); // the first reason stays
    }
    m_errors.store(true);
}

// Opens dir again below the target, in steps short enough for the system's
// path limit however deep dir lies, and checks that what it opened is dir:
// the path may have been changed (a folder swapped for a symbolic link) since
// dir was listed. Holds reopenDescriptorsPerThread descriptors at most.
int Walk::reopenOnce(Worker &worker, const DirNode *dir)
{
    if (!dir->parent)
        return ::fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0);
    std::vector<const DirNode *> chain;
    for (const DirNode *d = dir; d->parent; d = d->parent)
        chain.push_back(d);
    int at = m_rootFd;
    std::string &step = worker.pathScratch;
    auto i = chain.rbegin();
    while (i != chain.rend()) {
        step.clear();
        while (i != chain.rend() && step.size() + (*i)->name().size() + 1 < PATH_MAX / 2) {
            if (!step.empty())
                step += '/';
            step += (*i)->name();
            ++i;
        }
        int fd = ::openat(at, step.c_str(), openFlags);
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
int Walk::reopen(Worker &worker, const DirNode *dir)
{
    for (int attempt = 0;; ++attempt) {
        int fd = reopenOnce(worker, dir);
        if (fd >= 0 || !isOutOfDescriptors(errno) || attempt == reopenRetries)
            return fd;
        std::this_thread::sleep_for(reopenRetryPause);
    }
}

// True if dir or one of its ancestors is the directory (device, inode): a
// bind mount shows it inside itself.
bool Walk::showsInside(const DirNode *dir, std::uint32_t device, std::uint64_t inode)
{
    for (const DirNode *up = dir; up; up = up->parent)
        if (up->inode == inode && up->device == device)
            return true;
    return false;
}

// True if (device, inode) is a mount root walked at dir or above it. Only a
// folder that is the directory of some mount root is looked for among dir's
// ancestors, so the cost stays with the few folders that repeat a mount.
bool Walk::repeatsMountRoot(const DirNode *dir, std::uint32_t device, std::uint64_t inode)
{
    if (!m_anyMountRoot.load(std::memory_order_acquire))
        return false;
    std::lock_guard<std::mutex> guard(m_mountLock);
    const auto [first, last] = m_mountRoots.equal_range(inode);
    for (auto it = first; it != last; ++it)
        if (it->second->device == device)
            for (const DirNode *up = dir; up; up = up->parent)
                if (up == it->second)
                    return true;
    return false;
}

void *Walk::threadMain(void *worker)
{
    Worker &self = *static_cast<Worker *>(worker);
    self.walk->work(self);
    return nullptr;
}

void Walk::run(TopFiles &topFiles)
{
    m_queue.push_back(WorkItem{&m_dirs[0], -1, false});
    std::vector<std::unique_ptr<Worker>> workers;
    workers.push_back(std::make_unique<Worker>(this, 0u, m_settings.top, m_settings.maxDepth));
    std::vector<pthread_t> threads;
    // The walk needs little stack (no recursion, buffers on the heap): small
    // stacks keep many threads within a small address-space limit. Threads
    // that cannot be had (memory, process limits) are done without: the
    // walk goes on with those it has, the main thread alone if need be.
    pthread_attr_t attributes;
    const bool attributesSet = pthread_attr_init(&attributes) == 0;
    if (attributesSet)
        pthread_attr_setstacksize(&attributes, workerStackSize);
    {
        std::lock_guard<std::mutex> guard(m_lock); // workers read m_threads
        for (unsigned i = 1; i < m_threads; ++i) {
            std::unique_ptr<Worker> worker;
            try {
                worker = std::make_unique<Worker>(this, i, m_settings.top, m_settings.maxDepth);
            } catch (const std::bad_alloc &) {
                break;
            }
            pthread_t thread;
            if (pthread_create(&thread, attributesSet ? &attributes : nullptr, threadMain, worker.get()) != 0)
                break;
            threads.push_back(thread);
            workers.push_back(std::move(worker));
        }
        m_threads = unsigned(workers.size());
    }
    if (attributesSet)
        pthread_attr_destroy(&attributes);
    work(*workers[0]);
    for (pthread_t thread : threads)
        pthread_join(thread, nullptr);
    for (const auto &worker : workers)
        topFiles.mergeFrom(worker->topFiles);
}

void Walk::work(Worker &worker)
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
            walkItem(worker, item);
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

void Walk::share(Worker &worker)
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

void Walk::walkItem(Worker &worker, const WorkItem &item)
{
    Cursor cursor;
    worker.path.clear();
    if (!enter(worker, item, cursor))
        return;
    listFolder(worker, item.dir, cursor.fd);
    while (!worker.local.empty()) {
        const WorkItem next = worker.local.back();
        worker.local.pop_back();
        if (!enter(worker, next, cursor))
            continue;
        listFolder(worker, next.dir, cursor.fd);
        share(worker); // what it found with descriptors need not wait for this worker
    }
    release(cursor);
}

void Walk::listFolder(Worker &worker, DirNode *dir, int fd)
{
    listEntries(worker, dir, fd);
    openSubfolders(worker, fd);
    queueSubfolders(worker, dir);
}

bool Walk::enter(Worker &worker, const WorkItem &item, Cursor &cursor)
{
    DirNode *dir = item.dir;
    int fd = item.fd;
    bool pooled = fd >= 0;
    if (fd < 0 && dir->parent && climbTo(worker, dir->parent, cursor)) {
        fd = ::openat(cursor.fd, dir->nameData + 1, openFlags);
        if (fd < 0 && !isOutOfDescriptors(errno)) {
            int error = errno;
            fail(dir, displayPath(dir), error);
            return false;
        }
    }
    if (fd < 0) { // from the target, with the worker's own descriptors
        release(cursor);
        worker.path.clear();
        fd = reopen(worker, dir);
        if (fd < 0) {
            int error = errno; // before building the path can change it
            fail(dir, displayPath(dir), error);
            return false;
        }
    }
    release(cursor);
    cursor = Cursor{fd, pooled};
    worker.path.push_back(dir);
    // statfs only at mount points.
    struct statfs fileSystem;
    if (item.mountRoot && ::fstatfs(fd, &fileSystem) == 0 && isVirtualFileSystem(fileSystem.f_type))
        return false; // counted as empty; the cursor stays, it is a folder like any other
    return true;
}

bool Walk::climbTo(Worker &worker, const DirNode *folder, Cursor &cursor)
{
    std::vector<const DirNode *> &path = worker.path;
    while (cursor.fd >= 0 && !path.empty() && path.back() != folder) {
        path.pop_back();
        if (path.empty())
            break;
        const int up = ::openat(cursor.fd, "..", openFlags);
        release(cursor);
        cursor.fd = up;
        if (up < 0 || !isFolder(up, *path.back()))
            break;
    }
    if (cursor.fd >= 0 && !path.empty() && path.back() == folder)
        return true;
    release(cursor);
    path.clear();
    return false;
}

void Walk::release(Cursor &cursor)
{
    if (cursor.fd >= 0) {
        ::close(cursor.fd);
        if (cursor.pooled)
            giveDescriptor();
    }
    cursor = Cursor();
}

void Walk::listEntries(Worker &worker, DirNode *dir, int fd)
{
    worker.nameArena.clear();
    worker.found.clear();
    worker.filter.enter(m_settings.exclusion, dir, fd);
    if (m_settings.progress)
        m_settings.progress->reading(worker.index, dir);
    std::uint64_t entries = 0;
    std::uint64_t ownBytes = dir->totalBytes;
    char *buffer = worker.buffer.get();
    for (;;) {
        long got = ::syscall(SYS_getdents64, fd, buffer, direntBufferSize);
        if (got < 0) {
            int error = errno;
            // A directory removed while (or before) it is read has no more
            // entries: not an error, as for du.
            if (error != ENOENT)
                fail(dir, displayPath(dir), error);
            break;
        }
        if (got == 0)
            break;
        for (long offset = 0; offset < got;) {
            auto *entry = reinterpret_cast<LinuxDirent64 *>(buffer + offset);
            offset += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            if (worker.filter.skips(name))
                continue;
            ++entries;
            EntryInfo info;
            if (!statEntry(fd, name, 0, m_settings.apparentSize, info)) {
                int error = errno;
                fail(dir, displayPath(dir, name), error);
                continue;
            }
            // -x leaves out every entry of another file system, files
            // mounted over files included.
            if (m_settings.oneFileSystem && info.device != m_rootDevice)
                continue;
            if (info.isDirectory) {
                noteSubfolder(worker, dir, name, info);
                continue;
            }
            std::uint64_t bytes = info.bytes;
            if (info.links > 1 && !m_hardLinks.insert(dev_t(info.device), ino_t(info.inode)))
                bytes = 0; // counted where it was met first
            ownBytes = addSizes(ownBytes, bytes);
            worker.topFiles.offer(bytes, dir, name);
        }
    }
    dir->totalBytes = ownBytes;
    if (m_settings.progress)
        m_settings.progress->counted(worker.index, entries, ownBytes);
}

void Walk::noteSubfolder(Worker &worker, const DirNode *dir, const char *name, const EntryInfo &info)
{
    // Only a mount can show a directory below itself. A mount root is
    // compared with all of its ancestors; any other folder can only repeat
    // the target or a mount root above it (its parent would repeat that
    // ancestor's parent otherwise, and would not have been walked).
    const bool mountRoot = info.mountRootKnown ? info.mountRoot : info.device != dir->device;
    const bool inside = mountRoot || !info.mountRootKnown
                            ? showsInside(dir, info.device, info.inode)
                            : (info.inode == m_rootInode && info.device == m_rootDevice) ||
                                  repeatsMountRoot(dir, info.device, info.inode);
    const std::size_t length = std::strlen(name);
    worker.found.push_back(FoundDir{worker.nameArena.size(), length, info.device, info.inode, info.bytes, -1,
                                    0, mountRoot, inside});
    worker.nameArena.append(name, length);
}

void Walk::openSubfolders(Worker &worker, int fd)
{
    std::string &nameScratch = worker.pathScratch;
    for (FoundDir &sub : worker.found) {
        if (sub.insideItself || !takeDescriptor())
            continue;
        nameScratch.assign(worker.nameArena, sub.nameOffset, sub.nameLength);
        sub.fd = ::openat(fd, nameScratch.c_str(), openFlags);
        if (sub.fd < 0) {
            giveDescriptor();
            // Out of descriptors after all: opened by this worker instead.
            if (!isOutOfDescriptors(errno))
                sub.openError = errno;
        }
    }
}

void Walk::queueSubfolders(Worker &worker, DirNode *dir)
{
    std::vector<DirNode *> failed;
    bool mountRootAdded = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const FoundDir &sub : worker.found) {
            DirNode &child = m_dirs.add();
            child.nameData = keepName(worker.nameArena.data() + sub.nameOffset, sub.nameLength);
            child.parent = dir;
            child.depth = dir->depth + 1;
            child.device = sub.device;
            child.inode = sub.inode;
            // A folder repeating one of its ancestors counts nothing and is
            // not listed, as du does.
            child.totalBytes = sub.insideItself ? 0 : sub.bytes;
            if (sub.openError)
                failed.push_back(&child);
            else if (sub.insideItself)
                continue;
            else if (sub.fd >= 0)
                worker.ready.push_back(WorkItem{&child, sub.fd, sub.mountRoot});
            else
                worker.local.push_back(WorkItem{&child, -1, sub.mountRoot});
            if (sub.mountRoot && !sub.openError) {
                std::lock_guard<std::mutex> mountGuard(m_mountLock);
                m_mountRoots.emplace(child.inode, &child);
                mountRootAdded = true;
            }
        }
    }
    if (mountRootAdded)
        m_anyMountRoot.store(true, std::memory_order_release);
    std::size_t nextFailed = 0;
    for (const FoundDir &sub : worker.found)
        if (sub.openError) {
            DirNode *child = failed[nextFailed++];
            fail(child, displayPath(child), sub.openError);
        }
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
    return std::max(32u, availableProcessors());
}

ScanResult scan(const std::string &path, const ScanSettings &settings)
{
    ScanResult result;
    EntryInfo info;
    if (!statEntry(AT_FDCWD, path.c_str(), 0, settings.apparentSize, info)) {
        reportError(path, errorText(errno));
        result.status = ScanResult::TargetUnreadable;
        return result;
    }
    if (!info.isDirectory) {
        result.report.add(0, displayName(path), info.bytes);
        return result;
    }
    // Kept open for reopening directories below it; the walk lists a
    // duplicate of it.
    int rootFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (rootFd < 0 || !statEntry(rootFd, "", AT_EMPTY_PATH, settings.apparentSize, info)) {
        reportError(path, errorText(errno));
        if (rootFd >= 0)
            ::close(rootFd);
        result.status = ScanResult::TargetUnreadable;
        return result;
    }

    Walk walk(settings, rootFd, displayName(path), info);
    TopFiles topFiles(settings.top, settings.maxDepth);
    if (settings.progress)
        settings.progress->start();
    walk.run(topFiles);
    if (settings.progress)
        settings.progress->stop(); // it shows folders of the walk
    ::close(rootFd);

    DirNodeStore &dirs = walk.dirs();
    for (std::size_t i = dirs.size(); i-- > 1;)
        dirs[i].parent->totalBytes = addSizes(dirs[i].parent->totalBytes, dirs[i].totalBytes);
    result.report =
        selectReport(dirs, walk.folderErrors(), topFiles.candidates(), settings.top, settings.maxDepth);
    result.status = walk.hadErrors() ? ScanResult::Incomplete : ScanResult::Complete;
    return result;
}

} // namespace quarn
