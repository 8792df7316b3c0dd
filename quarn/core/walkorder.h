// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The order of a depth-first walk that reads every folder in the order it was listed and enters each
// subfolder at its place among the folder's entries: the order du meets names in, and the order of an export.

#pragma once

#include "core/dirtree.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// The place of every folder in the depth-first walk, and of the names between its subfolders.
class WalkOrder
{
public:
    // Folders lie in the store after their parents, siblings in the order they were listed.
    explicit WalkOrder(const DirNodeStore &dirs);

    // The rank of the first folder the walk enters after a name in folder that came after
    // subfoldersBefore of its subfolders: that subfolder, or the end of folder's subtree.
    std::uint32_t placeOf(const DirNode *folder, std::uint32_t subfoldersBefore) const
    {
        const std::size_t f = m_index.of(folder);
        const std::uint32_t children = m_childStart[f + 1] - m_childStart[f];
        return subfoldersBefore < children ? m_rank[m_children[m_childStart[f] + subfoldersBefore]]
                                           : m_end[f];
    }

private:
    DirNodeIndex m_index;
    std::vector<std::uint32_t> m_rank;       // by store place: the folder's place in the walk
    std::vector<std::uint32_t> m_end;        // by store place: the place after the folder's subtree
    std::vector<std::uint32_t> m_childStart; // by store place: where its children start in m_children
    std::vector<std::uint32_t> m_children;   // store places, grouped by parent
};

} // namespace quarn
