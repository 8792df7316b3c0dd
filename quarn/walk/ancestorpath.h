// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The folders from the target down to where a worker is, each found again by its device and inode in constant
// time.

#pragma once

#include "core/dirtree.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// A worker's path. A subfolder that repeats one of the folders on it shows
// a folder inside itself (through a mount, or a broken file system), and is
// found with one look in a table of the path's folders, not by climbing the
// path: time stays linear in depth. Costs a pointer and two table slots of
// four bytes per level, while the worker is there.
class AncestorPath
{
public:
    // Makes the path end at dir, keeping the part it shares with the path
    // as it was: moving to a nearby folder costs the steps between them.
    void moveTo(const DirNode *dir);
    // The folder on the path that is the directory (device, inode), or null.
    const DirNode *find(std::uint32_t device, std::uint64_t inode) const;
    const DirNode *back() const { return m_path.empty() ? nullptr : m_path.back(); }
    // Whether folder is on the path.
    bool holds(const DirNode *folder) const
    {
        return folder->depth < m_path.size() && m_path[folder->depth] == folder;
    }
    // Ends the path at its last folder's parent.
    void pop();

private:
    void push(const DirNode *dir);
    std::size_t home(std::uint32_t device, std::uint64_t inode) const;
    void rebuild(std::size_t slots);

    std::vector<const DirNode *> m_path; // the folder at depth d is m_path[d]
    // Open addressing with linear probing: 1 + an index into m_path, or 0
    // for a free slot; at most half of them used.
    std::vector<std::uint32_t> m_slots;
    std::vector<const DirNode *> m_below; // scratch of moveTo
};

} // namespace quarn
