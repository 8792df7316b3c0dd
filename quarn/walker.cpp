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

#include <atomic>
#include <cerrno>
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

struct WorkItem
{
    DirNode *dir;
    int fd; // open descriptor of dir, or -1 to reopen it from the target
};

// A subdirectory found while listing one directory; its name lives in the
// lister's name arena so listing allocates nothing per entry.
struct FoundDir
{
    std::size_t nameOffset;
    std::size_t nameLength;
    dev_t device;
    ino_t inode;
    std::uint64_t bytes;
    int fd;
};

class Walk
{
public:
    Walk(const ScanSettings &settings, int rootFd, DirNode &&root);
    ~Walk();
    std::deque<DirNode> &dirs() { return m_dirs; }
    // Lists the tree from listFd, a descriptor of the target that the walk closes.
    void run(int listFd, TopFiles &topFiles);
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
    void list(Worker &worker, DirNode *dir, int fd);
    int reopen(Worker &worker, const DirNode *dir);
    bool isCycle(const DirNode *dir) const;
    void fail(DirNode *dir, const std::string &path, int error) { fail(dir, path, errorText(error)); }
    void fail(DirNode *dir, const std::string &path, const std::string &reason);
    void closeFd(int fd);
    int openCounted(int at, const char *name);

    const ScanSettings &m_settings;
    int m_rootFd;
    int m_fdBudget; // descriptors that may be held open by queued directories
    std::atomic<int> m_openFds{0};
    std::atomic<bool> m_errors{false};
    HardLinkSet m_hardLinks;

    std::mutex m_lock; // guards m_dirs (growth), m_queue and m_busy
    std::condition_variable m_wake;
    std::deque<DirNode> m_dirs;    // all directories, each after its parent
    std::vector<WorkItem> m_queue; // taken from the back: depth first keeps few descriptors open
    unsigned m_busy = 0;           // workers listing a directory right now
};

int descriptorBudget()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 64;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    long usable = long(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) - 64;
    return int(std::max(16L, std::min(usable, 4096L)));
}

Walk::Walk(const ScanSettings &settings, int rootFd, DirNode &&root)
    : m_settings(settings), m_rootFd(rootFd), m_fdBudget(descriptorBudget())
{
    m_dirs.push_back(std::move(root));
}

Walk::~Walk()
{
    for (const WorkItem &item : m_queue)
        if (item.fd >= 0)
            ::close(item.fd);
}

void Walk::closeFd(int fd)
{
    ::close(fd);
    m_openFds.fetch_sub(1, std::memory_order_relaxed);
}

int Walk::openCounted(int at, const char *name)
{
    int fd = ::openat(at, name, openFlags);
    if (fd >= 0)
        m_openFds.fetch_add(1, std::memory_order_relaxed);
    return fd;
}

void Walk::fail(DirNode *dir, const std::string &path, const std::string &reason)
{
    reportError(path, reason);
    if (dir && dir->error.empty())
        dir->error = reason;
    m_errors.store(true);
}

// Opens dir again below the target, in steps short enough for the system's
// path limit however deep dir lies.
int Walk::reopen(Worker &worker, const DirNode *dir)
{
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
    m_openFds.fetch_add(1, std::memory_order_relaxed);
    return at;
}

bool Walk::isCycle(const DirNode *dir) const
{
    for (const DirNode *up = dir->parent; up; up = up->parent)
        if (up->inode == dir->inode && up->device == dir->device)
            return true;
    return false;
}

void Walk::run(int listFd, TopFiles &topFiles)
{
    m_openFds = 1;
    m_queue.push_back(WorkItem{&m_dirs.front(), listFd});
    unsigned threadCount = std::max(1u, m_settings.threads);
    std::vector<std::unique_ptr<Worker>> workers;
    for (unsigned i = 0; i < threadCount; ++i)
        workers.push_back(std::make_unique<Worker>(m_settings.top));
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < threadCount; ++i)
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

        list(worker, item.dir, item.fd);

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
            for (std::size_t i = 1; i < worker.ready.size() && i < std::size_t(m_settings.threads); ++i)
                m_wake.notify_one();
        }
        worker.ready.clear();
    }
    m_wake.notify_all();
}

void Walk::list(Worker &worker, DirNode *dir, int fd)
{
    if (fd < 0) {
        fd = reopen(worker, dir);
        if (fd < 0) {
            int error = errno; // before building the path can change it
            fail(dir, displayPath(dir), error);
            return;
        }
    }
    if (dir->parent) {
        // A bind mount can show a directory inside itself: list it once and
        // count the inner appearance as nothing, as du does.
        if (isCycle(dir)) {
            dir->ownBytes = 0;
            fail(dir, displayPath(dir), "directory contains itself (bind mount)");
            closeFd(fd);
            return;
        }
        // statfs only where the device changes, i.e. at mount points.
        struct statfs fileSystem;
        if (dir->device != dir->parent->device && ::fstatfs(fd, &fileSystem) == 0 &&
            isVirtualFileSystem(fileSystem.f_type)) {
            closeFd(fd);
            return;
        }
    }

    worker.nameArena.clear();
    worker.found.clear();
    std::uint64_t ownBytes = dir->ownBytes;
    char *buffer = worker.buffer.get();
    for (;;) {
        long got = ::syscall(SYS_getdents64, fd, buffer, direntBufferSize);
        if (got < 0) {
            int error = errno;
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
            struct stat info;
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                int error = errno;
                fail(dir, displayPath(dir, name), error);
                continue;
            }
            std::uint64_t bytes =
                m_settings.apparentSize ? std::uint64_t(info.st_size) : std::uint64_t(info.st_blocks) * 512;
            if (S_ISDIR(info.st_mode)) {
                if (m_settings.oneFileSystem && info.st_dev != dir->device)
                    continue;
                std::size_t length = std::strlen(name);
                worker.found.push_back(
                    FoundDir{worker.nameArena.size(), length, info.st_dev, info.st_ino, bytes, -1});
                worker.nameArena.append(name, length + 1); // with its terminating zero
                continue;
            }
            if (info.st_nlink > 1 && !m_hardLinks.insert(info.st_dev, info.st_ino))
                bytes = 0; // counted where it was met first
            ownBytes = addSizes(ownBytes, bytes);
            worker.topFiles.offer(bytes, dir, name);
        }
    }
    dir->ownBytes = ownBytes;

    // Open the subdirectories while this one is open, as long as the budget
    // of descriptors allows; the rest are reopened from the target later.
    std::vector<int> openErrors(worker.found.size(), 0);
    for (std::size_t i = 0; i < worker.found.size(); ++i) {
        FoundDir &sub = worker.found[i];
        if (m_openFds.load(std::memory_order_relaxed) >= m_fdBudget)
            continue;
        sub.fd = openCounted(fd, worker.nameArena.data() + sub.nameOffset);
        if (sub.fd < 0)
            openErrors[i] = errno;
    }
    closeFd(fd);

    std::vector<DirNode *> failed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (std::size_t i = 0; i < worker.found.size(); ++i) {
            const FoundDir &sub = worker.found[i];
            m_dirs.emplace_back();
            DirNode &child = m_dirs.back();
            child.name.assign(worker.nameArena, sub.nameOffset, sub.nameLength);
            child.parent = dir;
            child.depth = dir->depth + 1;
            child.device = sub.device;
            child.inode = sub.inode;
            child.ownBytes = sub.bytes;
            if (openErrors[i])
                failed.push_back(&child);
            else
                worker.ready.push_back(WorkItem{&child, sub.fd});
        }
    }
    std::size_t nextFailed = 0;
    for (int error : openErrors)
        if (error) {
            DirNode *child = failed[nextFailed++];
            fail(child, displayPath(child), error);
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
    struct stat info;
    if (::fstatat(AT_FDCWD, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        reportError(path, errorText(errno));
        result.status = ScanResult::TargetUnreadable;
        return result;
    }
    auto bytesOf = [&](const struct stat &s) {
        return settings.apparentSize ? std::uint64_t(s.st_size) : std::uint64_t(s.st_blocks) * 512;
    };
    if (!S_ISDIR(info.st_mode)) {
        result.report.name = displayName(path);
        result.report.size = bytesOf(info);
        return result;
    }
    int rootFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (rootFd < 0 || ::fstat(rootFd, &info) != 0) {
        reportError(path, errorText(errno));
        result.status = ScanResult::TargetUnreadable;
        return result;
    }
    // The target's descriptor stays open for reopening deep directories, so
    // the walk lists a duplicate of it.
    int listFd = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) {
        reportError(path, errorText(errno));
        ::close(rootFd);
        result.status = ScanResult::TargetUnreadable;
        return result;
    }

    DirNode root;
    root.name = displayName(path);
    root.device = info.st_dev;
    root.inode = info.st_ino;
    root.ownBytes = bytesOf(info);
    Walk walk(settings, rootFd, std::move(root));
    TopFiles topFiles(settings.top);
    walk.run(listFd, topFiles);
    ::close(rootFd);

    std::deque<DirNode> &dirs = walk.dirs();
    for (DirNode &dir : dirs)
        dir.totalBytes = dir.ownBytes;
    for (std::size_t i = dirs.size(); i-- > 1;)
        dirs[i].parent->totalBytes = addSizes(dirs[i].parent->totalBytes, dirs[i].totalBytes);
    result.report = selectReport(dirs, topFiles.candidates(), settings.top);
    result.status = walk.hadErrors() ? ScanResult::Incomplete : ScanResult::Complete;
    return result;
}

} // namespace quarn
