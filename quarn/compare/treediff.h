// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The comparison of an earlier scan, read from its export, with a later one: a walk, or another export read
// as one. It follows the later scan as a WalkEvents listener, compares each folder's files with the earlier
// folder's as soon as the folder is listed, and the folders once the tree is done.

#pragma once

#include "compare/oldtree.h"
#include "core/walkevents.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quarn {

// One line of a comparison, in pre-order: each entry under its folders.
struct DiffLine
{
    std::uint32_t depth = 0;
    std::string name; // the last component (the target: the later scan's path as displayed)
    std::uint64_t oldSize = 0;
    std::uint64_t newSize = 0;
    bool wasThere = true; // false: the entry appeared
    bool isThere = true;  // false: the entry is gone
    std::string error;    // why the entry could not be read completely, by either scan; empty: it could
};

// What a comparison shows: the target with its whole change first, then the
// entries whose size changed most (by the absolute change, then the
// shallower, then by path), each under the folders that hold it, children
// by the absolute change, then by name.
struct DiffReport
{
    std::vector<DiffLine> lines;
};

class TreeDiff final : public WalkEvents
{
public:
    // workers: the walk's; top: the entries shown, the target included;
    // entries deeper below the target than maxDepth are compared, not shown.
    TreeDiff(const OldTree &old, unsigned workers, std::size_t top, std::uint32_t maxDepth);

    // Every file is placed as a file with several links is: the walk
    // follows symbolic links, and counts each file at its first name.
    void placeEveryFile() { m_placeEveryFile = true; }
    ~TreeDiff() override;

    bool wantsEntries() const override { return true; }
    void folderEntered(unsigned worker, const DirNode *folder) override;
    void entry(unsigned worker, const DirNode *folder, std::string_view name, const EntryInfo &info) override;
    void unreadable(unsigned worker, std::string_view name, std::string_view reason) override;
    void subfolderNoted(unsigned worker, std::string_view name, const EntryInfo &info) override;
    void folderListed(unsigned worker, const DirNode *folder, std::uint64_t, std::uint64_t) override;
    void treeDone(const DirNodeStore &dirs, const FolderErrors &errors) override;
    void fileTarget(std::string_view name, const EntryInfo &info, std::string_view) override;

    // Whether the later scan got to its end, and the report made of it.
    bool done() const { return m_done; }
    const DiffReport &report() const { return m_report; }
    // False when a fragment of the earlier scan could not be read back
    // (problem() says why); the report is then incomplete.
    const std::string &problem() const { return m_problem; }

    struct Worker;
    struct Change;

private:
    void offer(Worker &worker, Change &&change);
    bool ranksBefore(const Change &a, const Change &b) const;
    std::size_t resolve(Worker &worker, const DirNode *folder);
    void placeLinks(const DirNodeStore &dirs);
    void matchKindChanges(const DirNodeStore &dirs);
    void compareFolders(const DirNodeStore &dirs, const FolderErrors &errors);
    void buildReport(const DirNodeStore &dirs, const FolderErrors &errors);

    // A later folder's earlier one: an index of m_old, none, or unseen where
    // there is none but the earlier scan could not read completely the
    // folder it would be in (or one of that folder's ancestors): what such
    // a folder holds may have been there, so it is not marked as new.
    static constexpr std::size_t unseen = OldTree::none - 1;
    std::size_t earlierChild(std::size_t parent, std::string_view name) const;
    static bool earlier(std::size_t old) { return old != OldTree::none && old != unseen; }

    static constexpr std::uint32_t noFolder = UINT32_MAX, unseenFolder = UINT32_MAX - 1;
    std::size_t oldOf(std::size_t i) const
    {
        return m_oldOf[i] == noFolder ? OldTree::none : m_oldOf[i] == unseenFolder ? unseen : m_oldOf[i];
    }
    DiffLine folderLine(const DirNodeStore &dirs, const FolderErrors &errors, std::size_t newFolder,
                        std::size_t oldFolder) const;

    const OldTree &m_old;
    const std::size_t m_top;
    const std::uint32_t m_maxDepth;
    std::vector<std::unique_ptr<Worker>> m_workers;
    // After the walk, by the later scan's store place: the folder's total,
    // its parent's place, its earlier folder; and the later folder of each earlier one.
    std::vector<std::uint64_t> m_newTotal;
    std::vector<std::uint32_t> m_newParent;
    std::vector<std::uint32_t> m_oldOf; // noFolder: none; unseenFolder: unseen
    std::vector<std::uint32_t> m_newOf;
    // Paths whose kind changed, matched as one entry: earlier folders now a
    // file, with the bytes the file counts; later folders (by store place)
    // where the earlier scan found a file, with its bytes.
    std::unordered_map<std::size_t, std::uint64_t> m_becameFile;
    std::unordered_map<std::size_t, std::uint64_t> m_wasFile;
    std::unique_ptr<DirNodeIndex> m_index;
    DiffReport m_report;
    std::string m_problem;
    bool m_done = false;
    bool m_placeEveryFile = false;
};

} // namespace quarn
