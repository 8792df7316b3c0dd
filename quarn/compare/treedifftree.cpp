// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The comparison once the later tree is done: its folders matched with the earlier ones, the folders gone,
// the entries chosen and put under their folders.

#include "compare/treediff.h"
#include "compare/treediffparts.h"

#include "core/errorline.h"

#include <algorithm>
#include <iterator>

namespace quarn {

void TreeDiff::compareFolders(const DirNodeStore &dirs, const FolderErrors &errors)
{
    Worker &worker = *m_workers[0];
    const std::size_t count = dirs.size();
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t old = oldOf(i);
        const auto file = earlier(old) ? m_wasFile.end() : m_wasFile.find(i);
        const bool matched = earlier(old) || file != m_wasFile.end();
        const std::uint64_t oldTotal = earlier(old) ? m_old.total(old) : matched ? file->second : 0;
        if (matched && oldTotal == m_newTotal[i])
            continue;
        Change change;
        change.oldSize = oldTotal;
        change.newSize = m_newTotal[i];
        change.wasThere = old != OldTree::none || matched;
        change.depth = dirs[i].depth;
        change.newFolder = &dirs[i];
        offer(worker, std::move(change));
    }
    // Earlier folders with no later one are gone, with all they held;
    // except in a later folder that could not be read completely: one of
    // its entries that could not be looked at may be that folder.
    std::vector<std::uint8_t> unknown(m_old.size(), 0);
    for (std::size_t o = 1; o < m_old.size(); ++o) {
        if (m_newOf[o] != noFolder)
            continue;
        const std::size_t parent = m_old.parentOf(o);
        unknown[o] = unknown[parent] || (m_newOf[parent] != noFolder && errors.count(&dirs[m_newOf[parent]]));
        if (unknown[o])
            continue;
        const std::uint32_t depth = m_old.folder(o).depth + 1;
        if (!m_becameFile.count(o)) { // else the file's change is the folder's
            Change change;
            change.oldSize = m_old.total(o);
            change.isThere = false;
            change.depth = depth - 1;
            change.oldFolder = o;
            offer(worker, std::move(change));
        }
        if (!m_old.listed(o))
            continue;
        const bool read = m_old.files(o, worker.buffer, [&](std::string_view name, std::uint64_t bytes) {
            Change file;
            file.oldSize = bytes;
            file.isThere = false;
            file.isFile = true;
            file.depth = depth;
            file.oldFolder = o;
            file.name = name;
            offer(worker, std::move(file));
        });
        if (!read && worker.problem.empty())
            worker.problem = "cannot read back a temporary file: " + errorText(errno);
    }
}

DiffLine TreeDiff::folderLine(const DirNodeStore &dirs, const FolderErrors &errors, std::size_t newFolder,
                              std::size_t oldFolder) const
{
    DiffLine line;
    if (newFolder != OldTree::none) {
        oldFolder = oldOf(newFolder);
        line.name = dirs[newFolder].name();
        line.depth = dirs[newFolder].depth;
        line.newSize = m_newTotal[newFolder];
        const auto error = errors.find(&dirs[newFolder]);
        if (error != errors.end())
            line.error = error->second;
    } else {
        line.name = m_old.folder(oldFolder).name();
        line.depth = m_old.folder(oldFolder).depth;
        const auto file = m_becameFile.find(oldFolder);
        line.isThere = file != m_becameFile.end();
        if (line.isThere)
            line.newSize = file->second;
    }
    line.wasThere = oldFolder != OldTree::none;
    if (newFolder != OldTree::none && !earlier(oldFolder)) {
        const auto file = m_wasFile.find(newFolder);
        line.wasThere = line.wasThere || file != m_wasFile.end();
        if (file != m_wasFile.end())
            line.oldSize = file->second;
    }
    if (earlier(oldFolder)) {
        line.oldSize = m_old.total(oldFolder);
        if (line.error.empty() && m_old.error(oldFolder))
            line.error = *m_old.error(oldFolder);
    }
    return line;
}

void TreeDiff::buildReport(const DirNodeStore &dirs, const FolderErrors &errors)
{
    std::vector<Change> chosen;
    for (auto &worker : m_workers) {
        std::move(worker->kept.begin(), worker->kept.end(), std::back_inserter(chosen));
        worker->kept = std::vector<Change>();
        if (m_problem.empty())
            m_problem = worker->problem;
    }
    std::sort(chosen.begin(), chosen.end(),
              [this](const Change &a, const Change &b) { return ranksBefore(a, b); });
    if (chosen.size() > m_top - 1)
        chosen.resize(m_top - 1);

    // The chosen entries and the folders holding them, as a tree.
    struct Node
    {
        DiffLine line;
        std::vector<std::size_t> children;
    };
    std::vector<Node> nodes(1);
    nodes[0].line = folderLine(dirs, errors, 0, OldTree::none);
    if (!m_old.size()) { // the earlier target was a file
        nodes[0].line.oldSize = m_old.rootTotal();
        nodes[0].line.wasThere = true;
    }
    std::unordered_map<std::uint64_t, std::size_t> folderNodes; // by 2 * later place, or 2 * earlier + 1
    std::vector<std::pair<std::size_t, std::size_t>> path;      // (later, earlier) folders, the deepest first
    for (const Change &change : chosen) {
        // Up from the entry's folder to the first one shown already, then
        // down again adding them: each folder is climbed to once.
        path.clear();
        const auto keyOf = [](const std::pair<std::size_t, std::size_t> &folder) {
            return folder.first != OldTree::none ? 2 * std::uint64_t(folder.first)
                                                 : 2 * std::uint64_t(folder.second) + 1;
        };
        std::size_t at = 0;
        std::size_t i = change.newFolder ? m_index->of(change.newFolder) : 0;
        for (std::size_t o = change.newFolder ? 0 : change.oldFolder; o != 0 && m_newOf[o] == noFolder;
             o = m_old.parentOf(o)) {
            const auto known = folderNodes.find(keyOf({OldTree::none, o}));
            if (known != folderNodes.end()) {
                at = known->second;
                break;
            }
            path.emplace_back(OldTree::none, o);
            i = m_old.parentOf(o) ? m_newOf[m_old.parentOf(o)] : 0;
        }
        if (path.empty() || at == 0) {
            for (; i != 0; i = m_newParent[i]) {
                const auto known = folderNodes.find(keyOf({i, OldTree::none}));
                if (known != folderNodes.end()) {
                    at = known->second;
                    break;
                }
                path.emplace_back(i, OldTree::none);
            }
        }
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            folderNodes.emplace(keyOf(*it), nodes.size());
            nodes[at].children.push_back(nodes.size());
            nodes.push_back(Node{folderLine(dirs, errors, it->first, it->second), {}});
            at = nodes.size() - 1;
        }
        if (!change.isFile)
            continue;
        if (change.newFolder && change.oldFolder != OldTree::none) { // a file where a folder was: one line
            if (folderNodes.emplace(keyOf({OldTree::none, change.oldFolder}), nodes.size()).second) {
                nodes[at].children.push_back(nodes.size());
                nodes.push_back(Node{folderLine(dirs, errors, OldTree::none, change.oldFolder), {}});
            }
            continue;
        }
        DiffLine line;
        line.depth = change.depth;
        line.name = change.name;
        line.oldSize = change.oldSize;
        line.newSize = change.newSize;
        line.wasThere = change.wasThere;
        line.isThere = change.isThere;
        nodes[at].children.push_back(nodes.size());
        nodes.push_back(Node{std::move(line), {}});
    }

    // Pre-order, children by the absolute change, then by name.
    const auto magnitude = [](const DiffLine &l) {
        return l.oldSize > l.newSize ? l.oldSize - l.newSize : l.newSize - l.oldSize;
    };
    std::vector<std::size_t> stack{0};
    while (!stack.empty()) {
        Node &node = nodes[stack.back()];
        stack.pop_back();
        std::sort(node.children.begin(), node.children.end(), [&](std::size_t a, std::size_t b) {
            const std::uint64_t ma = magnitude(nodes[a].line), mb = magnitude(nodes[b].line);
            return ma != mb ? ma > mb : nodes[a].line.name < nodes[b].line.name;
        });
        stack.insert(stack.end(), node.children.rbegin(), node.children.rend());
        m_report.lines.push_back(std::move(node.line));
    }
}

void TreeDiff::treeDone(const DirNodeStore &dirs, const FolderErrors &errors)
{
    const std::size_t count = dirs.size();
    m_index = std::make_unique<DirNodeIndex>(dirs);
    m_newTotal.resize(count);
    m_newParent.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        m_newTotal[i] = dirs[i].totalBytes; // summed already
        if (i)
            m_newParent[i] = std::uint32_t(m_index->of(dirs[i].parent));
    }
    m_oldOf.assign(count, noFolder);
    m_newOf.assign(m_old.size(), noFolder);
    if (m_old.size()) {
        m_oldOf[0] = 0;
        m_newOf[0] = 0;
    }
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t old = earlierChild(oldOf(m_newParent[i]), dirs[i].name());
        if (old == unseen) {
            m_oldOf[i] = unseenFolder;
        } else if (old != OldTree::none) {
            m_oldOf[i] = std::uint32_t(old);
            m_newOf[old] = std::uint32_t(i);
        }
    }
    placeLinks(dirs);
    matchKindChanges(dirs);
    compareFolders(dirs, errors);
    buildReport(dirs, errors);
    m_done = true;
}

void TreeDiff::fileTarget(std::string_view name, const EntryInfo &info, std::string_view)
{
    DiffLine line;
    line.name = name;
    line.oldSize = m_old.rootTotal();
    line.newSize = info.bytes;
    m_report.lines.push_back(std::move(line));
    m_done = true;
}

} // namespace quarn
