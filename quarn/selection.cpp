// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "selection.h"

#include <algorithm>
#include <unordered_map>

namespace quarn {

namespace {

EntryRef entryOf(const FileCandidate &file)
{
    return EntryRef{file.size, file.depth, file.parent, file.name, nullptr};
}

EntryRef entryOf(const DirNode &dir)
{
    return EntryRef{dir.totalBytes, dir.depth, dir.parent, dir.name, &dir};
}

bool candidateRanksBefore(const FileCandidate &a, const FileCandidate &b)
{
    return ranksBefore(entryOf(a), entryOf(b));
}

} // namespace

void TopFiles::offer(std::uint64_t size, const DirNode *parent, std::string_view name)
{
    if (m_capacity == 0)
        return;
    size = addSizes(size, 0); // as its folder's sum counts it, so the folder never ranks below it
    std::uint32_t depth = parent->depth + 1;
    if (m_heap.size() < m_capacity) {
        m_heap.push_back(FileCandidate{size, depth, parent, std::string(name)});
        std::push_heap(m_heap.begin(), m_heap.end(), candidateRanksBefore);
        return;
    }
    const FileCandidate &worst = m_heap.front();
    if (size < worst.size)
        return; // the common case: decided without touching names
    if (!ranksBefore(EntryRef{size, depth, parent, name, nullptr}, entryOf(worst)))
        return;
    std::pop_heap(m_heap.begin(), m_heap.end(), candidateRanksBefore);
    FileCandidate &slot = m_heap.back();
    slot.size = size;
    slot.depth = depth;
    slot.parent = parent;
    slot.name.assign(name.data(), name.size()); // reuses the slot's buffer
    std::push_heap(m_heap.begin(), m_heap.end(), candidateRanksBefore);
}

void TopFiles::mergeFrom(const TopFiles &other)
{
    for (const FileCandidate &file : other.m_heap)
        offer(file.size, file.parent, file.name);
}

ReportNode selectReport(const std::deque<DirNode> &dirs, const std::vector<FileCandidate> &files,
                        std::size_t n)
{
    // Only the n best-ranked directories can be chosen: keep those in a heap
    // whose front is the worst of them, not a record for every directory.
    const std::size_t keep = std::max<std::size_t>(1, n);
    std::vector<EntryRef> entries;
    entries.reserve(std::min(keep, dirs.size()) + files.size());
    for (const DirNode &dir : dirs) {
        const EntryRef entry = entryOf(dir);
        if (entries.size() < keep) {
            entries.push_back(entry);
            std::push_heap(entries.begin(), entries.end(), ranksBefore);
        } else if (ranksBefore(entry, entries.front())) {
            std::pop_heap(entries.begin(), entries.end(), ranksBefore);
            entries.back() = entry;
            std::push_heap(entries.begin(), entries.end(), ranksBefore);
        }
    }
    for (const FileCandidate &file : files)
        entries.push_back(entryOf(file));
    n = std::max<std::size_t>(1, std::min(n, entries.size()));
    std::partial_sort(entries.begin(), entries.begin() + std::ptrdiff_t(n), entries.end(), ranksBefore);
    entries.resize(n);

    // Ancestors rank before descendants, so every parent sits at a lower
    // index than its children; build the nested nodes from the back.
    std::unordered_map<const DirNode *, std::size_t> indexOfDir;
    std::vector<std::vector<std::size_t>> childIndices(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (entries[i].dir)
            indexOfDir[entries[i].dir] = i;
        if (i > 0)
            childIndices[indexOfDir.at(entries[i].parent)].push_back(i);
    }
    std::vector<ReportNode> nodes(n);
    for (std::size_t i = n; i-- > 0;) {
        const EntryRef &entry = entries[i];
        ReportNode &node = nodes[i];
        node.name = entry.dir ? displayPath(entry.dir) : displayPath(entry.parent, entry.name);
        node.size = entry.size;
        if (entry.dir)
            node.error = entry.dir->error;
        // Children are already in rank order: larger first; equal sizes are
        // at equal depth, so ties fall to the name.
        for (std::size_t child : childIndices[i])
            node.children.push_back(std::move(nodes[child]));
    }
    return std::move(nodes.front());
}

} // namespace quarn
