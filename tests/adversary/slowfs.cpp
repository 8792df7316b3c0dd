// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A read-only FUSE file system whose calls wait, as on a network share: every
// round trip to a server is a wait, and only more requests in flight make a
// walk faster. Two shapes:
//   slowfs --mirror=DIR [--delay-us=N] MOUNTPOINT [FUSE options]
//       DIR as it is (folders, files, links; sizes and inodes of DIR), every
//       look, open and listing waiting N microseconds (default 1,000);
//   slowfs --tree=FOLDERS,FILES [--stat-us=N] MOUNTPOINT [FUSE options]
//       FOLDERS folders of FILES files of 4 KiB each, every file's look
//       waiting N microseconds (default 20,000), the rest at once.
// Either shape may add --stall=NAME,SECONDS: the listing of the top folder
// NAME (under the mirror, or added to the tree, empty) waits that long, as a
// request to a server that stopped answering would; "stalled" is written to
// standard output when it starts, "answered after N listings" when it ends
// (N: the other listings begun by then).
// Requests are served by many threads at once (up to max_threads, 256 unless
// given), so that delays overlap as a server's do. Attributes and entries are
// never cached by the kernel: every look reaches this program.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string mirror;      // folder shown, or empty: the made-up tree
unsigned delayUs = 1000; // wait of every call on the mirror
unsigned folders = 0;    // of the made-up tree
unsigned files = 0;      // in each of its folders
unsigned statUs = 20000; // wait of a file's look in the made-up tree
std::string stallName;   // top folder whose listing stalls, or empty
unsigned stallSeconds = 0;
std::atomic<unsigned> listed{0}; // listings begun but the stalled one's

bool isStall(const char *path)
{
    return !stallName.empty() && path[0] == '/' && stallName == path + 1;
}

void wait(unsigned us)
{
    if (us)
        usleep(us);
}

// The made-up tree: "/", "/dN", "/dN/fM". Returns
// 0 for the root, 1 for a folder, 2 for a file, -1 for none; ino gets a
// number unique in the tree.
int lookUp(const char *path, ino_t &ino)
{
    if (std::strcmp(path, "/") == 0) {
        ino = 1;
        return 0;
    }
    unsigned folder = 0, file = 0;
    int used = 0;
    if (std::sscanf(path, "/d%u%n", &folder, &used) == 1 && path[used] == 0 && folder < folders) {
        ino = 2 + folder * (files + 1);
        return 1;
    }
    if (std::sscanf(path, "/d%u/f%u%n", &folder, &file, &used) == 2 && path[used] == 0 && folder < folders &&
        file < files) {
        ino = 2 + folder * (files + 1) + 1 + file;
        return 2;
    }
    return -1;
}

void fillFolder(struct stat *st, ino_t ino)
{
    std::memset(st, 0, sizeof *st);
    st->st_ino = ino;
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    st->st_size = 4096;
    st->st_blocks = 8;
}

int getattrOp(const char *path, struct stat *st, fuse_file_info *)
{
    if (isStall(path)) {
        fillFolder(st, ino_t(1) << 40); // beyond any inode of the mirror
        return 0;
    }
    if (!mirror.empty()) {
        wait(delayUs);
        return ::lstat((mirror + path).c_str(), st) == 0 ? 0 : -errno;
    }
    ino_t ino = 0;
    const int kind = lookUp(path, ino);
    if (kind < 0)
        return -ENOENT;
    fillFolder(st, ino);
    if (kind == 2) {
        wait(statUs);
        st->st_mode = S_IFREG | 0644;
        st->st_nlink = 1;
    }
    return 0;
}

int readlinkOp(const char *path, char *buffer, size_t size)
{
    wait(delayUs);
    const ssize_t got = ::readlink((mirror + path).c_str(), buffer, size - 1);
    if (got < 0)
        return -errno;
    buffer[got] = 0;
    return 0;
}

int opendirOp(const char *path, fuse_file_info *)
{
    if (mirror.empty() || isStall(path))
        return 0;
    wait(delayUs);
    return ::access((mirror + path).c_str(), R_OK | X_OK) == 0 ? 0 : -errno;
}

int readdirOp(const char *path, void *buffer, fuse_fill_dir_t filler, off_t, fuse_file_info *,
              fuse_readdir_flags)
{
    if (isStall(path)) {
        // Told on standard output, for a test to act while the request is held.
        std::printf("stalled\n");
        std::fflush(stdout);
        sleep(stallSeconds);
        std::printf("answered after %u listings\n", listed.load());
        std::fflush(stdout);
        return 0;
    }
    ++listed;
    if (mirror.empty()) {
        ino_t ino = 0;
        const int kind = lookUp(path, ino);
        if (kind < 0)
            return -ENOENT;
        if (kind == 2)
            return -ENOTDIR;
        const bool root = kind == 0;
        for (unsigned i = 0; i < (root ? folders : files); ++i)
            filler(buffer, ((root ? "d" : "f") + std::to_string(i)).c_str(), nullptr, 0,
                   fuse_fill_dir_flags(0));
        if (root && !stallName.empty())
            filler(buffer, stallName.c_str(), nullptr, 0, fuse_fill_dir_flags(0));
        return 0;
    }
    wait(delayUs);
    DIR *dir = ::opendir((mirror + path).c_str());
    if (!dir)
        return -errno;
    while (const dirent *entry = ::readdir(dir))
        filler(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags(0));
    ::closedir(dir);
    if (std::strcmp(path, "/") == 0 && !stallName.empty())
        filler(buffer, stallName.c_str(), nullptr, 0, fuse_fill_dir_flags(0));
    return 0;
}

int statfsOp(const char *, struct statvfs *st)
{
    std::memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 4096;
    st->f_namemax = 255;
    return 0;
}

void *initOp(fuse_conn_info *, fuse_config *config)
{
    config->use_ino = 1;
    config->entry_timeout = config->attr_timeout = config->negative_timeout = 0;
    return nullptr;
}

// Takes "--name=" options off the front of the arguments.
bool option(char **&argv, int &argc, const char *name, std::string &value)
{
    const std::size_t length = std::strlen(name);
    if (argc < 2 || std::strncmp(argv[1], name, length) != 0)
        return false;
    value = argv[1] + length;
    argv[1] = argv[0];
    --argc;
    ++argv;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    for (std::string value;;) {
        if (option(argv, argc, "--mirror=", value))
            mirror = value;
        else if (option(argv, argc, "--delay-us=", value))
            delayUs = unsigned(std::strtoul(value.c_str(), nullptr, 10));
        else if (option(argv, argc, "--tree=", value))
            std::sscanf(value.c_str(), "%u,%u", &folders, &files);
        else if (option(argv, argc, "--stat-us=", value))
            statUs = unsigned(std::strtoul(value.c_str(), nullptr, 10));
        else if (option(argv, argc, "--stall=", value)) {
            const std::size_t comma = value.find(',');
            stallName = value.substr(0, comma);
            stallSeconds = comma == std::string::npos ? 60 : unsigned(std::atoi(value.c_str() + comma + 1));
        } else
            break;
    }
    if (mirror.empty() && folders == 0 && stallName.empty()) {
        std::fprintf(stderr,
                     "usage: slowfs --mirror=DIR [--delay-us=N] | --tree=FOLDERS,FILES [--stat-us=N]\n"
                     "              [--stall=NAME,SECONDS] MOUNTPOINT [FUSE options]\n");
        return 2;
    }
    std::vector<char *> args(argv, argv + argc);
    static char maxThreads[] = "-omax_threads=256";
    bool threadsGiven = false;
    for (char *arg : args)
        threadsGiven = threadsGiven || std::strstr(arg, "max_threads");
    if (!threadsGiven)
        args.push_back(maxThreads);
    fuse_operations ops{};
    ops.getattr = getattrOp;
    ops.readlink = readlinkOp;
    ops.opendir = opendirOp;
    ops.readdir = readdirOp;
    ops.statfs = statfsOp;
    ops.init = initOp;
    return fuse_main(int(args.size()), args.data(), &ops, nullptr);
}
