// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "folderstore.h"

#include "entryinfo.h"

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

const char *FolderStore::shareName(const char *name, std::size_t length)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ std::uint8_t(name[i])) * 16777619u;
    RecentName &recent = m_recentNames[hash % recentNameSlots];
    if (recent.kept && recent.length == length && std::memcmp(recent.bytes, name, length) == 0)
        return recent.kept;
    recent.kept = keepName(name, length);
    recent.bytes = recent.kept + 1; // after the length byte
    recent.length = length;
    return recent.kept;
}

void FolderStore::addMountRoot(const DirNode *dir)
{
    {
        std::lock_guard<std::mutex> guard(m_mountLock);
        m_mountRoots.emplace(dir->inode, dir);
    }
    m_anyMountRoot.store(true, std::memory_order_release);
}

bool FolderStore::showsInside(const DirNode *dir, std::uint32_t device, std::uint64_t inode)
{
    for (const DirNode *up = dir; up; up = up->parent)
        if (up->inode == inode && up->device == device)
            return true;
    return false;
}

// Only a folder that is the directory of some mount root is looked for among
// dir's ancestors, so the cost stays with the few folders that repeat a mount.
bool FolderStore::repeatsMountRoot(const DirNode *dir, std::uint32_t device, std::uint64_t inode)
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
