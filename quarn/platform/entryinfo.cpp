// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/entryinfo.h"

#include <linux/magic.h>

namespace quarn {

bool isFolder(int fd, const DirNode &dir)
{
    struct statx sx;
    return ::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO, &sx) == 0 &&
           sx.stx_ino == dir.inode && deviceOf(sx) == dir.device;
}

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

} // namespace quarn
