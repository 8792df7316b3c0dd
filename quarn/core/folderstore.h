// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the walk keeps of every folder it meets: the records and their names, the mount roots walked, and the
// errors.

#pragma once

#include "core/dirtree.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace quarn {

class FolderStore
{
public:
    // The target's record: its displayed name, device, inode and own size.
    FolderStore(const std::string &rootName, std::uint32_t device, std::uint64_t inode, std::uint64_t bytes);

    DirNodeStore &dirs() { return m_dirs; }
    // Safe while other threads add records: the records never move, but the
    // table of their chunks does, so it is read only under growthLock().
    const DirNode &root() const { return *m_root; }

    // Guards adding records and names; held around addChild.
    std::mutex &growthLock() { return m_lock; }
    // A new record for the folder name below parent, its name kept for good.
    DirNode &addChild(DirNode *parent, const char *name, std::size_t length);

    // Notes a mount root that is walked.
    void addMountRoot(const DirNode *dir);
    // True if dir or one of its ancestors below ancestor is a mount root:
    // a folder repeating ancestor is then shown there by a mount.
    bool mountRootBetween(const DirNode *dir, const DirNode *ancestor);

    // Reports that path (dir itself or an entry in it) could not be read,
    // and keeps the first reason for dir.
    void fail(const DirNode *dir, const std::string &path, int error);
    void fail(const DirNode *dir, const std::string &path, const std::string &reason);
    // Reports the folder at path as part of a cycle of folders without a
    // mount, which only a corrupted file system shows.
    void failCycle(const std::string &path);
    bool hadErrors() const { return m_errors.load(); }
    const FolderErrors &folderErrors() const { return m_folderErrors; }

private:
    const char *keepName(const char *name, std::size_t length);
    // keepName, or a name equal to it kept lately.
    const char *shareName(const char *name, std::size_t length);

    std::string m_rootName;
    std::mutex m_lock; // guards m_dirs (growth) and the name chunks
    DirNodeStore m_dirs;
    const DirNode *m_root; // the target's record, the first of m_dirs
    std::vector<std::unique_ptr<char[]>> m_nameChunks;
    char *m_nameFree = nullptr;
    std::size_t m_nameLeft = 0;
    // Names kept lately, by a hash of the name: folder names repeat across a
    // tree (a project's "src" and "include", the "00" to "ff" of every
    // repository's objects, the same subfolders in every folder of a
    // collection), and a name met again is shared instead of kept twice.
    // Fixed in size, so names that never repeat cost no more. Two names a
    // hash, the later first; small, so that it stays in the processor's
    // cache between the system calls of a walk (eight times as many slots
    // took a tenth of a walk's own processor time on a cache miss a folder).
    struct RecentName
    {
        const char *bytes = nullptr; // the name's, kept
        std::uint32_t length = 0;
        std::uint32_t lengthBytes = 0; // before bytes: keepName returned bytes - lengthBytes
    };
    static constexpr std::size_t recentNameHashes = 1024;
    static constexpr std::size_t recentNameSlots = 2 * recentNameHashes;
    std::unique_ptr<RecentName[]> m_recentNames{new RecentName[recentNameSlots]()};

    // Mount roots below the target that are walked, by inode.
    std::mutex m_mountLock;
    std::unordered_multimap<std::uint64_t, const DirNode *> m_mountRoots;

    std::atomic<bool> m_errors{false};
    std::mutex m_errorLock;
    FolderErrors m_folderErrors;
};

} // namespace quarn
