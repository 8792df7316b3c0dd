// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace quarn {

// Reads a name's length where it is kept before the name: in 7-bit groups,
// lowest first, the high bit set on every group but the last (one byte for
// names below 128 bytes). Returns where the name starts.
inline const char *readNameLength(const char *at, std::size_t &length)
{
    const auto *group = reinterpret_cast<const unsigned char *>(at);
    length = 0;
    for (unsigned shift = 0;; shift += 7) {
        length |= std::size_t(*group & 0x7F) << shift;
        if (!(*group++ & 0x80))
            break;
    }
    return reinterpret_cast<const char *>(group);
}

// One directory met by the walk: 40 bytes, the walk's only memory per
// directory besides its name. Nodes are created by the thread that lists the
// parent, before the directory is handed on, and never move afterwards (they
// live in DirNodeStore's chunks). The name, parent, depth, device and inode are fixed at
// creation; totalBytes belongs to the one thread that lists the directory
// until the walk has ended.
struct DirNode
{
    // Last path component; for the target, the path as displayed.
    std::string_view name() const
    {
        if (!parent)
            return std::string_view(nameData);
        std::size_t length;
        const char *at = readNameLength(nameData, length);
        return std::string_view(at, length);
    }

    // Kept by the walk. Below the target: the name's length (see name()),
    // then the name, whatever its length, not terminated; for the target: a
    // NUL-terminated text.
    const char *nameData = "";
    DirNode *parent = nullptr;    // nullptr for the target
    std::uint64_t totalBytes = 0; // during the walk the directory itself plus the files directly in it;
                                  // afterwards plus every subdirectory's totalBytes
    std::uint64_t inode = 0;
    std::uint32_t device = 0; // the kernel's device numbers fit in 32 bits (12-bit major, 20-bit minor)
    std::uint32_t depth = 0;  // 0 for the target
};

// Why a directory could not be read completely, for the few that could not:
// kept apart so that every other directory's record stays small.
using FolderErrors = std::unordered_map<const DirNode *, std::string>;

// Bytes writeNameLength() writes at most.
constexpr std::size_t nameLengthBytes = 10;

// Writes length into prefix as DirNode::name() reads it before a name;
// returns how many bytes that took.
inline std::size_t writeNameLength(std::size_t length, unsigned char (&prefix)[nameLengthBytes])
{
    std::size_t written = 0;
    for (std::size_t rest = length;; rest >>= 7) {
        prefix[written++] = static_cast<unsigned char>((rest & 0x7F) | (rest > 0x7F ? 0x80 : 0));
        if (rest <= 0x7F)
            return written;
    }
}

// All directories of a walk, each after its parent, in chunks of records
// that never move once made. A deque of DirNode would allocate a block for
// every ten of them, a tenth more memory per directory.
class DirNodeStore
{
public:
    // A new default record at the end. Not safe to call from two threads at once.
    DirNode &add()
    {
        if (m_size % chunkSize == 0)
            m_chunks.emplace_back(static_cast<DirNode *>(::operator new(chunkSize * sizeof(DirNode))));
        DirNode *node = new (&m_chunks.back()[m_size % chunkSize]) DirNode;
        ++m_size;
        return *node;
    }
    std::size_t size() const { return m_size; }
    DirNode &operator[](std::size_t i) { return m_chunks[i / chunkSize][i % chunkSize]; }
    const DirNode &operator[](std::size_t i) const { return m_chunks[i / chunkSize][i % chunkSize]; }

private:
    // Frees a chunk's memory: records need no destruction.
    struct ChunkFree
    {
        void operator()(DirNode *chunk) const { ::operator delete(chunk); }
    };
    static_assert(std::is_trivially_destructible_v<DirNode>);

    static constexpr std::size_t chunkSize = 4096; // records: 160 KiB a chunk
    // Each record is made when added: a walk of a few folders writes, and
    // the kernel maps, only the pages they use, not the whole first chunk.
    std::vector<std::unique_ptr<DirNode[], ChunkFree>> m_chunks;
    std::size_t m_size = 0;
};

// Maps records of a DirNodeStore back to their places in it: the chunks do
// not move but lie anywhere in memory.
class DirNodeIndex
{
public:
    explicit DirNodeIndex(const DirNodeStore &dirs);
    // dir's place; dir must be a record of the store.
    std::size_t of(const DirNode *dir) const;

private:
    struct Run
    {
        const DirNode *first;
        std::size_t index;
    };
    std::vector<Run> m_runs; // runs of records adjacent in memory, by address
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

// Full displayed path of a directory: components joined by "/", none added
// after a target that ends in one.
std::string displayPath(const DirNode *dir);
// Full displayed path of the entry name inside dir.
std::string displayPath(const DirNode *dir, std::string_view name);

} // namespace quarn
