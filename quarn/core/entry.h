// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What is known of one entry, by the walk or by a reader of an export, and what its size counts.

#pragma once

#include <cstdint>

namespace quarn {

// What an entry counts for: its allocated blocks, its length (st_size), or
// itself (1: the sizes are numbers of entries).
enum class Measure { Allocated, Apparent, Entries };

struct EntryInfo
{
    std::uint32_t device; // as in DirNode
    std::uint64_t inode;
    std::uint64_t bytes; // counted: length or allocated, as Measure says
    std::uint64_t length;
    std::uint64_t allocated; // st_blocks * 512
    std::uint32_t links;
    bool isDirectory;
    bool isRegular;
    bool mountRoot;      // the root of a mount (or on another device than its parent, where unknown)
    bool mountRootKnown; // the kernel tells mount roots apart
};

} // namespace quarn
