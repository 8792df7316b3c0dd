// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the walk learns from the kernel about one entry, and how it says what it could not read.

#pragma once

#include "core/dirtree.h"
#include "core/entry.h"
#include "core/errorline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace quarn {

// Every folder is opened this way: never through a symbolic link, and
// without blocking on a special file swapped in for it.
constexpr int folderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
// The same through a final symbolic link, for a walk that follows links.
constexpr int followedFolderOpenFlags = folderOpenFlags & ~O_NOFOLLOW;

// One record of getdents64.
struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// The kernel's own device number of a statx result: 12 bits of major, 20 of minor.
inline std::uint32_t deviceOf(const struct statx &sx)
{
    return (sx.stx_dev_major << 20) | (sx.stx_dev_minor & 0xFFFFF);
}

// statx of name in dirFd without triggering an automount and, unless
// follow is set, without following a final symbolic link (as lstat does);
// info.bytes as measure counts.
inline bool statEntry(int dirFd, const char *name, int extraFlags, Measure measure, EntryInfo &info,
                      bool follow = false)
{
    struct statx sx;
    constexpr unsigned mask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS;
    const int flags = (follow ? 0 : AT_SYMLINK_NOFOLLOW) | AT_NO_AUTOMOUNT | extraFlags;
    if (::statx(dirFd, name, flags, mask, &sx) != 0)
        return false;
    info.device = deviceOf(sx);
    info.inode = sx.stx_ino;
    info.length = sx.stx_size;
    info.allocated = std::uint64_t(sx.stx_blocks) * 512;
    info.bytes = measure == Measure::Allocated  ? info.allocated
                 : measure == Measure::Apparent ? info.length
                                                : 1;
    info.links = sx.stx_nlink;
    info.isDirectory = S_ISDIR(sx.stx_mode);
    info.isRegular = S_ISREG(sx.stx_mode);
    info.mountRootKnown = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
    info.mountRoot = (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return true;
}

inline bool isOutOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// True if fd is the directory dir was created for (same device and inode).
bool isFolder(int fd, const DirNode &dir);

// Kernel file systems whose contents are not stored data: their mount points
// count as empty directories.
bool isVirtualFileSystem(long type);

} // namespace quarn
