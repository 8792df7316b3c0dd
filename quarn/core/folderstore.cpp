// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/folderstore.h"

#include "core/errorline.h"
#include "core/utf8.h"

#include <algorithm>
#include <cstring>

namespace quarn {

FolderStore::FolderStore(const std::string &rootName, std::uint32_t device, std::uint64_t inode,
                         std::uint64_t bytes)
    : m_rootName(rootName)
{
    DirNode &node = m_dirs.add();
    node.nameData = m_rootName.c_str();
    node.device = device;
    node.inode = inode;
    node.totalBytes = bytes;
    m_root = &node;
}

DirNode &FolderStore::addChild(DirNode *parent, const char *name, std::size_t length)
{
    DirNode &child = m_dirs.add();
    child.nameData = shareName(name, length);
    child.parent = parent;
    child.depth = parent->depth + 1;
    return child;
}

const char *FolderStore::keepName(const char *name, std::size_t length)
{
    unsigned char prefix[nameLengthBytes];
    const std::size_t prefixLength = writeNameLength(length, prefix);
    const std::size_t kept = prefixLength + length;
    if (kept > m_nameLeft) {
        const std::size_t size = std::max<std::size_t>(64 * 1024, kept);
        m_nameChunks.emplace_back(new char[size]);
        m_nameFree = m_nameChunks.back().get();
        m_nameLeft = size;
    }
    char *at = m_nameFree;
    std::memcpy(at, prefix, prefixLength);
    std::memcpy(at + prefixLength, name, length);
    m_nameFree += kept;
    m_nameLeft -= kept;
    return at;
}

const char *FolderStore::shareName(const char *name, std::size_t length)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ std::uint8_t(name[i])) * 16777619u;
    RecentName *recent = &m_recentNames[2 * (hash % recentNameHashes)];
    for (int i = 0; i < 2; ++i)
        if (recent[i].bytes && recent[i].length == length && std::memcmp(recent[i].bytes, name, length) == 0)
            return recent[i].bytes - recent[i].lengthBytes;
    const char *kept = keepName(name, length);
    recent[1] = recent[0];
    recent[0].bytes = m_nameFree - length; // the name is the last kept
    recent[0].length = std::uint32_t(length);
    recent[0].lengthBytes = std::uint32_t(recent[0].bytes - kept);
    return kept;
}

void FolderStore::addMountRoot(const DirNode *dir)
{
    std::lock_guard<std::mutex> guard(m_mountLock);
    m_mountRoots.emplace(dir->inode, dir);
}

bool FolderStore::mountRootBetween(const DirNode *dir, const DirNode *ancestor)
{
    std::lock_guard<std::mutex> guard(m_mountLock);
    for (const DirNode *up = dir; up && up != ancestor; up = up->parent) {
        const auto [first, last] = m_mountRoots.equal_range(up->inode);
        for (auto it = first; it != last; ++it)
            if (it->second == up)
                return true;
    }
    return false;
}

void FolderStore::fail(const DirNode *dir, const std::string &path, int error)
{
    fail(dir, path, errorText(error));
}

void FolderStore::fail(const DirNode *dir, const std::string &path, const std::string &reason)
{
    reportError(path, reason);
    if (dir) {
        std::lock_guard<std::mutex> guard(m_errorLock);
        m_folderErrors.emplace(dir, reason); // the first reason stays
    }
    m_errors.store(true);
}

} // namespace quarn

namespace quarn {

void FolderStore::failCycle(const std::string &path)
{
    writeErrorLine("quarn: WARNING: Circular directory structure.\n"
                   "This almost certainly means that you have a corrupted file system.\n"
                   "NOTIFY YOUR SYSTEM MANAGER.\n"
                   "The following directory is part of the cycle:\n  '" +
                   escapedForLog(path) + "'\n");
    m_errors.store(true);
}

} // namespace quarn
