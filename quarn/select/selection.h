// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/dirtree.h"
#include "core/report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// What the report shows.
struct ReportOptions
{
    std::size_t top = 20;                // entries to report, the target included
    std::uint32_t maxDepth = UINT32_MAX; // entries deeper below the target are counted, not reported
};

// A file that may still be among the largest entries.
struct FileCandidate
{
    std::uint64_t size = 0;
    std::uint32_t depth = 0;
    const DirNode *parent = nullptr;
    std::string name; // last component
};

// The size and depth of the worst-ranked entry kept, once entries have been
// dropped: an entry that ranks after those on size and depth alone can never
// be among the best.
struct RankCut
{
    bool set = false;
    std::uint64_t size = 0;
    std::uint32_t depth = 0;

    bool excludes(std::uint64_t entrySize, std::uint32_t entryDepth) const
    {
        return set && (entrySize != size ? entrySize < size : entryDepth > depth);
    }
};

// Directories of one depth with their ranks in the order of their paths.
struct PathRanks
{
    std::vector<const DirNode *> dirs; // by address
    std::vector<std::size_t> ranks;    // of each of dirs

    // Whether every one of these (by address, distinct) is ranked here.
    bool covers(const std::vector<const DirNode *> &sortedDirs) const;
    // Rank of one of dirs.
    std::size_t rankOf(const DirNode *dir) const;
};

// Files that may still be among the capacity best-ranked: the only per-file
// memory the walk keeps, at most half as many again and 64 more; cut back to
// the capacity when that many have come. One per walking thread, merged at
// the end.
class TopFiles
{
public:
    // Files deeper than maxDepth below the target are never candidates.
    explicit TopFiles(std::size_t capacity, std::uint32_t maxDepth = UINT32_MAX)
        : m_capacity(capacity), m_maxDepth(maxDepth)
    {}

    void offer(std::uint64_t size, const DirNode *parent, std::string_view name)
    {
        if (mayRank(size, parent))
            keep(size, parent, name);
    }
    // The same for a name ending in a NUL, measured only if the file is kept:
    // most files of a walk are turned away on their size alone.
    void offer(std::uint64_t size, const DirNode *parent, const char *name)
    {
        if (mayRank(size, parent))
            keep(size, parent, name);
    }
    void mergeFrom(const TopFiles &other);
    // Holds the capacity best-ranked files offered, and maybe some more.
    const std::vector<FileCandidate> &candidates() const { return m_files; }
    // Files smaller than this can no longer be among the best, whatever is offered later.
    std::uint64_t sizeFloor() const { return m_cut.set ? m_cut.size : 0; }
    // False when a file of size in parent can no longer be among the best, whatever is offered later.
    bool mayRank(std::uint64_t size, const DirNode *parent) const
    {
        const std::uint32_t depth = parent->depth + 1;
        // The size as its folder's sum counts it, so the folder never ranks below it.
        return m_capacity != 0 && depth <= m_maxDepth && !m_cut.excludes(addSizes(size, 0), depth);
    }

private:
    void keep(std::uint64_t size, const DirNode *parent, std::string_view name);

    std::size_t m_capacity;
    std::vector<FileCandidate> m_files;
    RankCut m_cut;
    PathRanks m_lastRanks; // kept for the next cut, which often has the same files tied
    std::uint32_t m_maxDepth;
};

// The report: the n best-ranked entries among all directories and the file
// candidates, as a tree rooted at dirs[0] (the target), children
// largest first and by name on ties; entries deeper than maxDepth are not
// chosen. totalBytes must be summed already. Entries rank larger first, then
// shallower, then by path compared component by component as bytes. Since a
// directory is never smaller than anything inside it and is shallower, the
// first n entries in this order always include each other's ancestors.
Report selectReport(const DirNodeStore &dirs, const FolderErrors &errors,
                    const std::vector<FileCandidate> &files, std::size_t n,
                    std::uint32_t maxDepth = UINT32_MAX);

} // namespace quarn
