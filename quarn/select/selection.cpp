// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "select/selection.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

namespace quarn {

namespace {

// An entry as ranked: a directory (dir set) or a file (dir null, name and
// parent given).
struct RankedEntry
{
    std::uint64_t size;
    std::uint32_t depth;
    const DirNode *parent; // nullptr only for the target
    std::string_view name; // last component (the displayed path for the target)
    const DirNode *dir;    // the directory itself, or nullptr for a file
};

RankedEntry entryOf(const FileCandidate &file)
{
    return RankedEntry{file.size, file.depth, file.parent, file.name, nullptr};
}

RankedEntry entryOf(const DirNode &dir)
{
    return RankedEntry{dir.totalBytes, dir.depth, dir.parent, dir.name(), &dir};
}

// Ranking on size and depth alone: larger first, then shallower.
template <typename Entry> bool ranksBeforeOnSize(const Entry &a, const Entry &b)
{
    return a.size != b.size ? a.size > b.size : a.depth < b.depth;
}

void sortUnique(std::vector<const DirNode *> &dirs)
{
    std::sort(dirs.begin(), dirs.end(), std::less<const DirNode *>());
    dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
}

std::size_t indexIn(const std::vector<const DirNode *> &sortedDirs, const DirNode *dir)
{
    return std::size_t(
        std::lower_bound(sortedDirs.begin(), sortedDirs.end(), dir, std::less<const DirNode *>()) -
        sortedDirs.begin());
}

// Ranks distinct directories of one depth (sorted by address) by their
// paths, compared component by component as bytes. Their ancestors are
// ranked level by level, from where they all meet down, each level by its
// parents' ranks and then by name: the cost is that of sorting those
// ancestors once, however deep they lie, where comparing paths pairwise
// would walk up to the meeting point for every comparison.
PathRanks rankByPath(std::vector<const DirNode *> dirs)
{
    std::vector<PathRanks> levels(1);
    levels.front().dirs = std::move(dirs);
    while (levels.back().dirs.size() > 1) {
        std::vector<const DirNode *> parents;
        parents.reserve(levels.back().dirs.size());
        for (const DirNode *dir : levels.back().dirs)
            parents.push_back(dir->parent); // never null: only the target lies at depth 0
        sortUnique(parents);
        levels.emplace_back();
        levels.back().dirs = std::move(parents);
    }
    levels.back().ranks.assign(levels.back().dirs.size(), 0);
    for (std::size_t k = levels.size() - 1; k-- > 0;) {
        const std::vector<const DirNode *> &level = levels[k].dirs;
        std::vector<std::size_t> parentRank(level.size());
        for (std::size_t i = 0; i < level.size(); ++i)
            parentRank[i] = levels[k + 1].rankOf(level[i]->parent);
        std::vector<std::size_t> order(level.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return parentRank[a] != parentRank[b] ? parentRank[a] < parentRank[b]
                                                  : level[a]->name() < level[b]->name();
        });
        levels[k].ranks.resize(level.size());
        for (std::size_t rank = 0; rank < order.size(); ++rank)
            levels[k].ranks[order[rank]] = rank;
        levels.pop_back();
    }
    return std::move(levels.front());
}

// Cuts entries down to the count (at least 1) best-ranked of them, in no
// particular order, and returns the cut. Size and depth decide for every
// entry but those that tie on both with the last one kept; only those have
// their paths compared, through ranks (reused when they cover them all).
template <typename Entry> RankCut keepBest(std::vector<Entry> &entries, std::size_t count, PathRanks &ranks)
{
    if (entries.size() <= count)
        return RankCut{};
    const auto nth = entries.begin() + std::ptrdiff_t(count - 1);
    std::nth_element(entries.begin(), nth, entries.end(), ranksBeforeOnSize<Entry>);
    const RankCut cut{true, nth->size, nth->depth};
    const auto tied = std::partition(entries.begin(), entries.end(), [&](const Entry &entry) {
        return entry.size != cut.size ? entry.size > cut.size : entry.depth < cut.depth;
    });
    const auto worse = std::partition(tied, entries.end(), [&](const Entry &entry) {
        return entry.size == cut.size && entry.depth == cut.depth;
    });
    const std::size_t room = count - std::size_t(tied - entries.begin()); // at least 1: nth ties
    if (std::size_t(worse - tied) > room) {
        // All tied entries lie at one depth: their paths differ first in
        // their parents' paths or, for siblings, in their names.
        std::vector<const DirNode *> parents;
        for (auto it = tied; it != worse; ++it)
            parents.push_back(it->parent);
        sortUnique(parents);
        if (!ranks.covers(parents))
            ranks = rankByPath(std::move(parents));
        std::nth_element(tied, tied + std::ptrdiff_t(room - 1), worse, [&](const Entry &a, const Entry &b) {
            if (a.parent == b.parent)
                return a.name < b.name;
            return ranks.rankOf(a.parent) < ranks.rankOf(b.parent);
        });
    }
    entries.erase(entries.begin() + std::ptrdiff_t(count), entries.end());
    return cut;
}

// The report of the chosen entries, which hold the target and each other's
// ancestors: in pre-order, children largest first and by name on ties.
Report buildReport(const std::vector<RankedEntry> &entries, const FolderErrors &errors)
{
    const std::size_t count = entries.size();
    std::unordered_map<const DirNode *, std::size_t> indexOfDir;
    indexOfDir.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        if (entries[i].dir)
            indexOfDir.emplace(entries[i].dir, i);

    // Each entry's children as a range of one array.
    std::size_t root = 0;
    std::vector<std::size_t> parentOf(count);
    std::vector<std::size_t> childrenEnd(count + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (!entries[i].parent) {
            root = i;
            continue;
        }
        parentOf[i] = indexOfDir.at(entries[i].parent);
        ++childrenEnd[parentOf[i] + 1];
    }
    for (std::size_t i = 0; i < count; ++i)
        childrenEnd[i + 1] += childrenEnd[i];
    std::vector<std::size_t> filled(childrenEnd.begin(), childrenEnd.end() - 1);
    std::vector<std::size_t> children(count ? count - 1 : 0);
    for (std::size_t i = 0; i < count; ++i)
        if (entries[i].parent)
            children[filled[parentOf[i]]++] = i;
    // Siblings of equal size are at equal depth: ties fall to the name.
    const auto siblingBefore = [&](std::size_t a, std::size_t b) {
        return entries[a].size != entries[b].size ? entries[a].size > entries[b].size
                                                  : entries[a].name < entries[b].name;
    };
    for (std::size_t i = 0; i < count; ++i)
        std::sort(children.begin() + std::ptrdiff_t(childrenEnd[i]),
                  children.begin() + std::ptrdiff_t(childrenEnd[i + 1]), siblingBefore);

    Report report;
    std::vector<std::size_t> stack;
    if (count > 0)
        stack.push_back(root);
    while (!stack.empty()) {
        const RankedEntry &entry = entries[stack.back()];
        const std::size_t index = stack.back();
        stack.pop_back();
        const auto error = entry.dir ? errors.find(entry.dir) : errors.end();
        report.add(entry.depth, entry.name, entry.size,
                   error != errors.end() ? std::string_view(error->second) : std::string_view());
        for (std::size_t c = childrenEnd[index + 1]; c-- > childrenEnd[index];)
            stack.push_back(children[c]);
    }
    return report;
}

} // namespace

bool PathRanks::covers(const std::vector<const DirNode *> &sortedDirs) const
{
    return std::includes(dirs.begin(), dirs.end(), sortedDirs.begin(), sortedDirs.end(),
                         std::less<const DirNode *>());
}

std::size_t PathRanks::rankOf(const DirNode *dir) const
{
    return ranks[indexIn(dirs, dir)];
}

void TopFiles::keep(std::uint64_t size, const DirNode *parent, std::string_view name)
{
    m_files.push_back(FileCandidate{addSizes(size, 0), parent->depth + 1, parent, std::string(name)});
    if (m_files.size() >= m_capacity + m_capacity / 2 + 64)
        m_cut = keepBest(m_files, m_capacity, m_lastRanks);
}

void TopFiles::mergeFrom(const TopFiles &other)
{
    for (const FileCandidate &file : other.m_files)
        offer(file.size, file.parent, file.name);
}

Report selectReport(const DirNodeStore &dirs, const FolderErrors &errors,
                    const std::vector<FileCandidate> &files, std::size_t n, std::uint32_t maxDepth)
{
    // Entries are kept until there are twice as many as asked for, then cut
    // back; after the first cut most are turned away on their size alone.
    const std::size_t keep = std::max<std::size_t>(1, n);
    std::vector<RankedEntry> entries;
    RankCut cut;
    PathRanks ranks;
    const auto consider = [&](const RankedEntry &entry) {
        if (entry.depth > maxDepth || cut.excludes(entry.size, entry.depth))
            return;
        entries.push_back(entry);
        if (entries.size() >= 2 * keep)
            cut = keepBest(entries, keep, ranks);
    };
    for (std::size_t i = 0; i < dirs.size(); ++i)
        consider(entryOf(dirs[i]));
    for (const FileCandidate &file : files)
        consider(entryOf(file));
    keepBest(entries, keep, ranks);
    return buildReport(entries, errors);
}

} // namespace quarn
