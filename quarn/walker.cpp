// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walker.h"

#include "dirtree.h"
#include "hardlinkset.h"
#include "selection.h"
#include "utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
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
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quarn {

namespace {

constexpr std::size_t direntBufferSize = 128 * 1024; // bytes per getdents64 call
constexpr int openFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// The walk's budget of file descriptors. Queued folders may each hold one
// open, taken from a shared pool; every worker keeps a few of its own for
// reopening a folder from the target. Together they never exceed what was
// free when the walk began, so no folder is lost for want of a descriptor.

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
// Reopening a folder from the target holds two at most: the step reached so
// far and the next one.
constexpr long reopenDescriptorsPerThread = 2;
// A thread walks only if this many are free for it: its own two for
// reopening and two more for the pool, so with few descriptors free fewer
// threads walk instead of every thread reopening every folder.
constexpr long descriptorsPerThread = 4;
// The pool never holds more. Folders are taken depth first, so the queue
// rarely holds this many at once, and a folder beyond the pool costs only a
// reopen later; the walk's share of the system-wide file table stays modest.
constexpr long descriptorPoolCap = 4096;
// When the process has none free after all (something outside the walk's
// count holds them), reopening tries again every millisecond, for two
// seconds, before the folder is reported unreadable.
constexpr int reopenRetries = 2000;
constexpr auto reopenRetryPause = std::chrono::milliseconds(1);

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
    ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    (void)written;
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
    // The kernel's own device number: 12 bits of major, 20 of minor.
    info.device = (sx.stx_dev_major << 20) | (sx.stx_dev_minor & 0xFFFFF);
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

struct WorkItem
{
    DirNode *dir;
    int fd; // open descriptor of dir holding one of the shared budget, or -1 to reopen it from the target
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
    bool insideItself; // shown inside itself by a bind mount: counts nothing
};

// Descriptors free for this process: the limit (raised towards the hard
// limit, up to raisedDescriptorLimit, where allowed) less those open now.
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
                open += entry->d_name[0] != '.';
            }
        ::close(fdDir);
        open -= 1; // the listing's own descriptor
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
    std::deque<DirNode> &dirs() { return m_dirs; }
    void run(TopFiles &topFiles);
    bool hadErrors() const { return m_errors.load(); }

private:
    struct Worker
    {
        explicit Worker(std::size_t top) : topFiles(top), buffer(new char[direntBufferSize]) {}
        TopFiles topFiles;
        std::unique_ptr<char[]> buffer;
        std::string nameArena;
        std::vector<FoundDir> found;
        std::vector<WorkItem> ready;
        std::string pathScratch;
    };

    void work(Worker &worker);
    // Lists item's folder: its files counted, its subfolders queued.
    void list(Worker &worker, const WorkItem &item);
    // An open descriptor of item's folder, or -1 when there is nothing to
    // list: it cannot be reopened (reported) or it is the mount point of a
    // virtual file system (counted empty).
    int openFolder(Worker &worker, const WorkItem &item);
    // Closes a folder's descriptor, giving it back to the pool if it came from there.
    void closeFolder(int fd, bool pooled);
    // Reads every entry of dir through fd: files counted in dir and offered
    // to the top files, subfolders noted in worker.found.
    void listEntries(Worker &worker, DirNode *dir, int fd);
    // Notes the subfolder name of dir in worker.found, with whether it is a
    // mount root and whether it shows one of its ancestors inside itself.
    void noteSubfolder(Worker &worker, const DirNode *dir, const char *name, const EntryInfo &info);
    // Opens worker.found's folders through their parent's fd while the pool
    // has descriptors to spare; the rest are reopened from the target later.
    void openSubfolders(Worker &worker, int fd);
    // Adds worker.found's folders to the tree below dir, hands those to list
    // to worker.ready and reports those that could not be opened.
    void queueSubfolders(Worker &worker, DirNode *dir);
    int reopen(Worker &worker, const DirNode *dir);
    int reopenOnce(Worker &worker, const DirNode *dir);
    static bool showsInside(const DirNode *dir, std::uint32_t device, std::uint64_t inode);
    void fail(DirNode *dir, const std::string &path, int error) { fail(dir, path, errorText(error)); }
    void fail(DirNode *dir, const std::string &path, const std::string &reason);
    std::string_view keepName(const char *name, std::size_t length);
    bool takeDescriptor();
    void giveDescriptor() { m_pool.fetch_add(1, std::memory_order_relaxed); }

    const ScanSettings &m_settings;
    int m_rootFd;
    std::string m_rootName;
    std::uint32_t m_rootDevice;
    unsigned m_threads = 1;
    // Descriptors that queued directories may hold open; every worker keeps
    // reopenDescriptorsPerThread more of its own.
    std::atomic<int> m_pool{0};
    std::atomic<bool> m_errors{false};
    HardLinkSet m_hardLinks;

    std::mutex m_lock; // guards m_dirs (growth), the name chunks, m_queue and m_busy
    std::condition_variable m_wake;
    std::deque<DirNode> m_dirs; // all directories, each after its parent
    std::vector<std::unique_ptr<char[]>> m_nameChunks;
    char *m_nameFree = nullptr;
    std::size_t m_nameLeft = 0;
    std::vector<WorkItem> m_queue; // taken from the back: depth first keeps few descriptors open
    unsigned m_busy = 0;           // workers listing a directory right now

    std::mutex m_errorLock;
    std::deque<std::string> m_errorTexts;
};

Walk::Walk(const ScanSettings &settings, int rootFd, const std::string &rootName, const EntryInfo &root)
    : m_settings(settings), m_rootFd(rootFd), m_rootName(rootName), m_rootDevice(root.device)
{
    const long usable = std::max(0L, freeDescriptors() - sparedDescriptors);
    const long threadsAllowed = std::max(1L, usable / descriptorsPerThread);
    m_threads = unsigned(std::clamp<long>(long(std::max(1u, settings.threads)), 1, threadsAllowed));
    m_pool = int(std::clamp<long>(usable - reopenDescriptorsPerThread * m_threads, 0, descriptorPoolCap));
    DirNode node;
    node.name = m_rootName;
    node.device = root.device;
    node.inode = root.inode;
    node.totalBytes = root.bytes;
    m_dirs.push_back(node);
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

std::string_view Walk::keepName(const char *name, std::size_t length)
{
    if (length > m_nameLeft) {
        const std::size_t size = std::max<std::size_t>(64 * 1024, length);
        m_nameChunks.emplace_back(new char[size]);
        m_nameFree = m_nameChunks.back().get();
        m_nameLeft = size;
    }
    char *kept = m_nameFree;
    std::memcpy(kept, name, length);
    m_nameFree += length;
    m_nameLeft -= length;
    return std::string_view(kept, length);
}

void Walk::fail(DirNode *dir, const std::string &path, const std::string &reason)
{
    reportError(path, reason);
    if (dir && dir->error.empty()) {
        std::lock_guard<std::mutex> guard(m_errorLock);
        m_errorTexts.push_back(reason);
        dir->error = TextRef(&m_errorTexts.back());
    }
    m_errors.store(true);
}

// Opens dir again below the target, in steps short enough for the system's
// path limit however deep dir lies. Holds reopenDescriptorsPerThread
// descriptors at most.
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
        while (i != chain.rend() && step.size() + (*i)->name.size() + 1 < PATH_MAX / 2) {
            if (!step.empty())
                step += '/';
            step += (*i)->name;
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

void Walk::run(TopFiles &topFiles)
{
    m_queue.push_back(WorkItem{&m_dirs.front(), -1, false});
    std::vector<std::unique_ptr<Worker>> workers;
    for (unsigned i = 0; i < m_threads; ++i)
        workers.push_back(std::make_unique<Worker>(m_settings.top));
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < m_threads; ++i)
        threads.emplace_back([this, &workers, i] { work(*workers[i]); });
    work(*workers[0]);
    for (std::thread &thread : threads)
        thread.join();
    for (const auto &worker : workers)
        topFiles.mergeFrom(worker->topFiles);
}

void Walk::work(Worker &worker)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty() || m_busy == 0; });
        if (m_queue.empty())
            break; // nothing queued and nobody listing: the walk is over
        WorkItem item = m_queue.back();
        m_queue.pop_back();
        ++m_busy;
        lock.unlock();

        list(worker, item);

        lock.lock();
        for (const WorkItem &ready : worker.ready)
            m_queue.push_back(ready);
        --m_busy;
        if (m_queue.empty() && m_busy == 0) {
            m_wake.notify_all(); // the walk is over: every worker leaves
        } else {
            // This worker takes one of the new folders itself; wake one
            // sleeper for each other. Waking all of them for every folder
            // made a deep chain of single folders cost each thread a wake-up
            // per level (32 threads: six times slower than one).
            for (std::size_t i = 1; i < worker.ready.size() && i < std::size_t(m_threads); ++i)
                m_wake.notify_one();
        }
        worker.ready.clear();
    }
    m_wake.notify_all();
}

void Walk::list(Worker &worker, const WorkItem &item)
{
    const int fd = openFolder(worker, item);
    if (fd < 0)
        return;
    listEntries(worker, item.dir, fd);
    openSubfolders(worker, fd);
    closeFolder(fd, item.fd >= 0);
    queueSubfolders(worker, item.dir);
}

int Walk::openFolder(Worker &worker, const WorkItem &item)
{
    DirNode *dir = item.dir;
    int fd = item.fd;
    if (fd < 0) { // not opened with its parent: reopened with the worker's own descriptors
        fd = reopen(worker, dir);
        if (fd < 0) {
            int error = errno; // before building the path can change it
            fail(dir, displayPath(dir), error);
            return -1;
        }
    }
    // statfs only at mount points.
    struct statfs fileSystem;
    if (item.mountRoot && ::fstatfs(fd, &fileSystem) == 0 && isVirtualFileSystem(fileSystem.f_type)) {
        closeFolder(fd, item.fd >= 0);
        return -1;
    }
    return fd;
}

void Walk::closeFolder(int fd, bool pooled)
{
    ::close(fd);
    if (pooled)
        giveDescriptor();
}

void Walk::listEntries(Worker &worker, DirNode *dir, int fd)
{
    worker.nameArena.clear();
    worker.found.clear();
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
}

void Walk::noteSubfolder(Worker &worker, const DirNode *dir, const char *name, const EntryInfo &info)
{
    // Only a mount can show a directory inside itself, so only mount roots
    // need the ancestors checked.
    const bool mountRoot = info.mountRootKnown ? info.mountRoot : info.device != dir->device;
    const bool inside = (mountRoot || !info.mountRootKnown) && showsInside(dir, info.device, info.inode);
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
            // Out of descriptors after all: reopened later instead.
            if (!isOutOfDescriptors(errno))
                sub.openError = errno;
        }
    }
}

void Walk::queueSubfolders(Worker &worker, DirNode *dir)
{
    std::vector<DirNode *> failed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const FoundDir &sub : worker.found) {
            m_dirs.emplace_back();
            DirNode &child = m_dirs.back();
            child.name = keepName(worker.nameArena.data() + sub.nameOffset, sub.nameLength);
            child.parent = dir;
            child.depth = dir->depth + 1;
            child.device = sub.device;
            child.inode = sub.inode;
            // The inner appearance of a directory inside itself counts
            // nothing and is not listed, as du does.
            child.totalBytes = sub.insideItself ? 0 : sub.bytes;
            if (sub.openError)
                failed.push_back(&child);
            else if (!sub.insideItself)
                worker.ready.push_back(WorkItem{&child, sub.fd, sub.mountRoot});
        }
    }
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
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return path.empty() ? path : "/";
    return path.substr(0, end + 1);
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
        result.report.name = displayName(path);
        result.report.size = info.bytes;
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
    TopFiles topFiles(settings.top);
    walk.run(topFiles);
    ::close(rootFd);

    std::deque<DirNode> &dirs = walk.dirs();
    for (std::size_t i = dirs.size(); i-- > 1;)
        dirs[i].parent->totalBytes = addSizes(dirs[i].parent->totalBytes, dirs[i].totalBytes);
    result.report = selectReport(dirs, topFiles.candidates(), settings.top);
    result.status = walk.hadErrors() ? ScanResult::Incomplete : ScanResult::Complete;
    return result;
}

} // namespace quarn
