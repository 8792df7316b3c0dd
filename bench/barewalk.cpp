// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// barewalk: the least a parallel walk that counts allocated space has to do,
// as the floor of bench/scan.sh.
//
//   barewalk [-t THREADS] [-x] PATH
//
// THREADS threads (default 2) take open folders from one shared stack, list
// each with getdents64, statx every entry relative to the folder's
// descriptor and open subfolders with openat from it. Prints the sum of
// st_blocks x 512 of PATH and everything below it, each link of a file
// counted, as "BYTES<TAB>PATH"; on a tree without hard links that is what
// du -s -B1 prints. -x stays on PATH's device. Exit status 1 when something
// could not be read (the total is then short), 2 for bad usage.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LinuxDirent64
{
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

constexpr unsigned statMask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS;
constexpr int statFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr long bufferSize = 128 * 1024;

bool oneDevice = false;
unsigned rootMajor = 0;
unsigned rootMinor = 0;

std::mutex lock;
std::condition_variable wake;
std::vector<int> stack; // open descriptors of folders still to list
long unfinished = 0;    // folders pushed and not yet listed to the end
std::atomic<std::uint64_t> total{0};
std::atomic<long> errors{0};

void complain(const char *what, const char *name)
{
    std::fprintf(stderr, "barewalk: %s '%s': %s\n", what, name, std::strerror(errno));
    errors.fetch_add(1, std::memory_order_relaxed);
}

// Pushes the folders found so far and, when done, marks the listed folder
// finished; both under one lock, so unfinished never reaches 0 early.
void publish(std::vector<int> &found, bool done)
{
    if (found.empty() && !done)
        return;
    bool walked;
    {
        std::lock_guard<std::mutex> guard(lock);
        stack.insert(stack.end(), found.begin(), found.end());
        unfinished += long(found.size()) - (done ? 1 : 0);
        walked = unfinished == 0;
    }
    if (walked || found.size() > 1)
        wake.notify_all();
    else if (found.size() == 1)
        wake.notify_one();
    found.clear();
}

void list(int fd, char *buffer, std::vector<int> &found, std::uint64_t &sum)
{
    for (;;) {
        long got = ::syscall(SYS_getdents64, fd, buffer, bufferSize);
        if (got < 0) {
            complain("cannot list", "a folder");
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
            struct statx sx;
            if (::statx(fd, name, statFlags, statMask, &sx) != 0) {
                complain("cannot stat", name);
                continue;
            }
            if (oneDevice && (sx.stx_dev_major != rootMajor || sx.stx_dev_minor != rootMinor))
                continue;
            sum += std::uint64_t(sx.stx_blocks) * 512;
            if (S_ISDIR(sx.stx_mode)) {
                int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0)
                    found.push_back(sub);
                else
                    complain("cannot open", name);
            }
        }
        // Hand this batch over now, so that other threads need not wait for
        // the end of a large folder.
        publish(found, false);
    }
}

void worker()
{
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    std::vector<int> found;
    std::uint64_t sum = 0;
    for (;;) {
        int fd;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [] { return !stack.empty() || unfinished == 0; });
            if (stack.empty())
                break;
            fd = stack.back();
            stack.pop_back();
        }
        list(fd, buffer.get(), found, sum);
        ::close(fd);
        publish(found, true);
    }
    total.fetch_add(sum, std::memory_order_relaxed);
}

[[noreturn]] void usage()
{
    std::fputs("usage: barewalk [-t THREADS] [-x] PATH\n", stderr);
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    long threads = 2;
    int option;
    while ((option = ::getopt(argc, argv, "t:x")) != -1) {
        if (option == 't') {
            char *end;
            threads = std::strtol(optarg, &end, 10);
            if (*end || threads < 1 || threads > 4096)
                usage();
        } else if (option == 'x') {
            oneDevice = true;
        } else {
            usage();
        }
    }
    if (optind + 1 != argc)
        usage();
    const char *path = argv[optind];

    // Every folder on the stack holds a descriptor.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }

    struct statx sx;
    if (::statx(AT_FDCWD, path, statFlags, statMask, &sx) != 0) {
        complain("cannot stat", path);
        return 2;
    }
    rootMajor = sx.stx_dev_major;
    rootMinor = sx.stx_dev_minor;
    total = std::uint64_t(sx.stx_blocks) * 512;
    if (S_ISDIR(sx.stx_mode)) {
        int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            complain("cannot open", path);
            return 2;
        }
        stack.push_back(fd);
        unfinished = 1;
        std::vector<std::thread> pool;
        for (long i = 0; i < threads; ++i)
            pool.emplace_back(worker);
        for (auto &thread : pool)
            thread.join();
    }
    std::printf("%llu\t%s\n", static_cast<unsigned long long>(total.load()), path);
    return errors.load() ? 1 : 0;
}
