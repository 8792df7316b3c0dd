// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace quarn {

// Text kept elsewhere for as long as the tree lives (an error text); reads as
// empty when unset. A pointer, so a directory record stays small.
class TextRef
{
public:
    TextRef() = default;
    explicit TextRef(const std::string *text) : m_text(text) {}
    bool empty() const { return !m_text || m_text->empty(); }
    operator std::string_view() const { return m_text ? std::string_view(*m_text) : std::string_view(); }

private:
    const std::string *m_text = nullptr;
};

// One directory met by the walk: 56 bytes, the walk's only memory per
// directory besides its name. Nodes are created by the thread that lists the
// parent, before the directory is handed to the work queue, and never move
// afterwards (they live in a deque). name, parent, depth, device and inode are
// fixed at creation; totalBytes and error belong to the one thread that lists
// the directory until the walk has ended.
struct DirNode
{
    std::string_view name;     // last path component, kept by the walk; for the target, the path as displayed
    DirNode *parent = nullptr; // nullptr for the target
    std::uint64_t totalBytes = 0; // during the walk the directory itself plus the files directly in it;
                                  // afterwards plus every subdirectory's totalBytes
    std::uint64_t inode = 0;
    TextRef error;            // why it could not be read completely; empty if it could
    std::uint32_t device = 0; // the kernel's device numbers fit in 32 bits (12-bit major, 20-bit minor)
    std::uint32_t depth = 0;  // 0 for the target
};

// The largest size a sum reaches: the largest signed 64-bit count, which is
// also where readers of the report stop. Sums saturate there instead of
// wrapping around, so a folder is never counted smaller than what it holds.
constexpr std::uint64_t largestSize = std::uint64_t(INT64_MAX);

// a + b, saturated at largestSize.
constexpr std::uint64_t addSizes(std::uint64_t a, std::uint64_t b)
{
    a = a < largestSize ? a : largestSize;
    b = b < largestSize ? b : largestSize;
    return b > largestSize - a ? largestSize : a + b;
}

// An entry as ranked by the selection: a directory (dir set) or a file
// (dir null, name and parent given).
struct EntryRef
{
    std::uint64_t size;
    std::uint32_t depth;
    const DirNode *parent; // nullptr only for the target
    std::string_view name; // last component (the displayed path for the target)
    const DirNode *dir;    // the directory itself, or nullptr for a file
};

// Ranking of entries: larger first, then shallower, then by path compared
// component by component as bytes. Since a directory is never smaller than
// anything inside it and is shallower, the first N entries in this order
// always include each other's ancestors.
bool ranksBefore(const EntryRef &a, const EntryRef &b);

// Full displayed path of a directory ("/" joins, never "//").
std::string displayPath(const DirNode *dir);
// Full displayed path of the entry name inside dir.
std::string displayPath(const DirNode *dir, std::string_view name);

} // namespace quarn
