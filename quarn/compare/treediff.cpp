// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "compare/treediff.h"
#include "compare/treediffparts.h"

#include "core/errorline.h"
#include "core/walkorder.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <tuple>

namespace quarn {

namespace {

// The names from below the target down to the entry: the folder's, then the file's name if any.
void componentsOf(const DirNode *folder, std::string_view name, std::vector<std::string_view> &parts)
{
    parts.clear();
    if (!name.empty())
        parts.push_back(name);
    for (const DirNode *d = folder; d->parent; d = d->parent)
        parts.push_back(d->name());
    std::reverse(parts.begin(), parts.end());
}

} // namespace

// Larger changes first, then shallower entries, then by path, compared
// component by component as bytes, as the report ranks entries. Paths are
// only looked at for ties: no path is kept.
bool TreeDiff::ranksBefore(const Change &a, const Change &b) const
{
    const std::uint64_t ma = a.magnitude(), mb = b.magnitude();
    if (ma != mb)
        return ma > mb;
    if (a.depth != b.depth)
        return a.depth < b.depth;
    std::vector<std::string_view> pa, pb;
    componentsOf(a.newFolder ? a.newFolder : &m_old.folder(a.oldFolder), a.name, pa);
    componentsOf(b.newFolder ? b.newFolder : &m_old.folder(b.oldFolder), b.name, pb);
    return std::lexicographical_compare(pa.begin(), pa.end(), pb.begin(), pb.end());
}

TreeDiff::TreeDiff(const OldTree &old, unsigned workers, std::size_t top, std::uint32_t maxDepth)
    : m_old(old), m_top(top), m_maxDepth(maxDepth)
{
    for (unsigned i = 0; i < std::max(1u, workers); ++i)
        m_workers.push_back(std::make_unique<Worker>());
}

TreeDiff::~TreeDiff() = default;

void TreeDiff::offer(Worker &worker, Change &&change)
{
    if (change.depth > m_maxDepth || m_top <= 1)
        return;
    const std::uint64_t magnitude = change.magnitude();
    if (worker.cut &&
        (magnitude != worker.cutMagnitude ? magnitude < worker.cutMagnitude : change.depth > worker.cutDepth))
        return; // it can never rank among the best
    worker.kept.push_back(std::move(change));
    const std::size_t capacity = m_top - 1;
    if (worker.kept.size() < 2 * capacity + 64)
        return;
    std::nth_element(worker.kept.begin(), worker.kept.begin() + std::ptrdiff_t(capacity - 1),
                     worker.kept.end(),
                     [this](const Change &a, const Change &b) { return ranksBefore(a, b); });
    worker.kept.resize(capacity);
    worker.cut = true;
    worker.cutMagnitude = worker.kept.back().magnitude();
    worker.cutDepth = worker.kept.back().depth;
}

std::size_t TreeDiff::earlierChild(std::size_t parent, std::string_view name) const
{
    if (parent == unseen)
        return unseen;
    const std::size_t child = m_old.child(parent, name);
    return child == OldTree::none && parent != OldTree::none && m_old.error(parent) ? unseen : child;
}

std::size_t TreeDiff::resolve(Worker &worker, const DirNode *folder)
{
    const std::size_t root = m_old.size() ? 0 : OldTree::none;
    std::size_t found = root;
    worker.chain.clear();
    for (const DirNode *d = folder; d->parent; d = d->parent) {
        const auto known = worker.resolved.find(d);
        if (known != worker.resolved.end()) {
            found = known->second;
            break;
        }
        worker.chain.push_back(d);
    }
    if (worker.resolved.size() > 8192)
        worker.resolved.clear(); // a worker's folders lie close together: the recent ones suffice
    for (auto it = worker.chain.rbegin(); it != worker.chain.rend(); ++it) {
        found = earlierChild(found, (*it)->name());
        worker.resolved.emplace(*it, found);
    }
    return found;
}

void TreeDiff::folderEntered(unsigned index, const DirNode *folder)
{
    Worker &worker = *m_workers[index];
    worker.open.push_back(Worker::Open{folder, resolve(worker, folder), 0, worker.files.size(),
                                       worker.names.size(), worker.subfolderNames.size()});
}

void TreeDiff::subfolderNoted(unsigned index, std::string_view name, const EntryInfo &)
{
    Worker &worker = *m_workers[index];
    if (worker.open.empty())
        return; // the target
    ++worker.open.back().subfolders;
    worker.subfolderNames.emplace_back(worker.names.size(), std::uint32_t(name.size()));
    worker.names.append(name);
}

void TreeDiff::entry(unsigned index, const DirNode *, std::string_view name, const EntryInfo &info)
{
    Worker &worker = *m_workers[index];
    worker.files.push_back(Worker::File{worker.names.size(), std::uint32_t(name.size()),
                                        std::max(info.links, 1u), info.device, worker.open.back().subfolders,
                                        info.inode, info.bytes});
    worker.names.append(name);
}

// Not looked at now: neither its size nor whether it is gone is known.
void TreeDiff::unreadable(unsigned index, std::string_view name, std::string_view)
{
    Worker &worker = *m_workers[index];
    worker.files.push_back(Worker::File{worker.names.size(), std::uint32_t(name.size()), 0, 0,
                                        worker.open.back().subfolders, 0, 0});
    worker.names.append(name);
}

void TreeDiff::folderListed(unsigned index, const DirNode *folder, std::uint64_t, std::uint64_t)
{
    Worker &worker = *m_workers[index];
    const Worker::Open open = worker.open.back();
    worker.open.pop_back();
    worker.oldFiles.clear();
    const bool compared = earlier(open.old) && m_old.listed(open.old);
    // A file the earlier scan may not have seen is not marked as new.
    const bool mayHaveBeen = open.old == unseen || (open.old != OldTree::none && m_old.error(open.old));
    if (compared) {
        const bool read =
            m_old.files(open.old, worker.buffer, [&](std::string_view name, std::uint64_t bytes) {
                worker.oldFiles.emplace(name, bytes);
            });
        if (!read && worker.problem.empty())
            worker.problem = "cannot read back a temporary file: " + errorText(errno);
    }
    const std::uint32_t depth = folder->depth + 1;
    for (std::size_t i = open.firstFile; i < worker.files.size(); ++i) {
        const Worker::File &file = worker.files[i];
        const std::string_view name(worker.names.data() + file.nameStart, file.nameLength);
        std::uint64_t oldBytes = 0;
        bool wasThere = mayHaveBeen;
        std::size_t replaced = OldTree::none;
        if (compared) {
            const auto known = worker.oldFiles.find(name);
            if (known != worker.oldFiles.end()) {
                oldBytes = known->second;
                wasThere = true;
                worker.oldFiles.erase(known);
            } else if ((replaced = m_old.child(open.old, name)) != OldTree::none) {
                oldBytes = m_old.total(replaced);
                wasThere = true;
            }
        }
        if (file.links == 0)
            continue;
        if (file.links > 1 || m_placeEveryFile) { // what it counts here is known once the walk is placed
            worker.links.push_back(Worker::LinkName{
                folder, file.subfoldersBefore, file.device, file.inode, file.bytes, oldBytes, replaced,
                wasThere, 0, worker.links.size(), worker.linkText.size(), file.nameLength, index});
            worker.linkText.append(name);
            continue;
        }
        if (replaced != OldTree::none)
            worker.becameFiles.emplace_back(replaced, file.bytes);
        if (wasThere && oldBytes == file.bytes)
            continue;
        Change change;
        change.oldSize = oldBytes;
        change.newSize = file.bytes;
        change.wasThere = wasThere;
        change.isFile = true;
        change.depth = depth;
        change.newFolder = folder;
        change.oldFolder = replaced;
        change.name = name;
        offer(worker, std::move(change));
    }
    // An earlier file whose path a subfolder took is that folder's earlier size, not gone.
    if (!worker.oldFiles.empty())
        for (std::size_t i = open.firstSubfolder; i < worker.subfolderNames.size(); ++i) {
            const auto [start, length] = worker.subfolderNames[i];
            const auto file = worker.oldFiles.find(std::string_view(worker.names.data() + start, length));
            if (file != worker.oldFiles.end()) {
                worker.wasFiles.push_back(Worker::WasFile{folder, std::string(file->first), file->second});
                worker.oldFiles.erase(file);
            }
        }
    for (const auto &[name, bytes] : worker.oldFiles) {
        Change change;
        change.oldSize = bytes;
        change.isThere = false;
        change.isFile = true;
        change.depth = depth;
        change.newFolder = folder;
        change.name = name;
        offer(worker, std::move(change));
    }
    worker.files.resize(open.firstFile);
    worker.subfolderNames.resize(open.firstSubfolder);
    worker.names.resize(open.firstName);
}

// Each file with several links counts at its first name in the walk's
// order, as the walk placed it: the same names, in the same order.
void TreeDiff::placeLinks(const DirNodeStore &dirs)
{
    std::vector<Worker::LinkName *> names;
    for (auto &worker : m_workers)
        for (Worker::LinkName &name : worker->links)
            names.push_back(&name);
    if (names.empty())
        return;
    const WalkOrder order(dirs);
    for (Worker::LinkName *name : names)
        name->place = order.placeOf(name->folder, name->subfoldersBefore);
    std::sort(names.begin(), names.end(), [](const Worker::LinkName *a, const Worker::LinkName *b) {
        // Names before one folder's place: the deepest folder's first; in one folder, as listed.
        return std::make_tuple(a->device, a->inode, a->place, UINT32_MAX - a->folder->depth, a->worker,
                               a->order) < std::make_tuple(b->device, b->inode, b->place,
                                                           UINT32_MAX - b->folder->depth, b->worker,
                                                           b->order);
    });
    Worker &worker = *m_workers[0];
    const Worker::LinkName *previous = nullptr;
    for (const Worker::LinkName *name : names) {
        const bool first = !previous || previous->device != name->device || previous->inode != name->inode;
        previous = name;
        const std::uint64_t bytes = first ? name->bytes : 0;
        if (name->replaced != OldTree::none)
            m_becameFile.emplace(name->replaced, bytes);
        if (name->wasThere && name->oldBytes == bytes)
            continue;
        Change change;
        change.oldSize = name->oldBytes;
        change.newSize = bytes;
        change.wasThere = name->wasThere;
        change.isFile = true;
        change.depth = name->folder->depth + 1;
        change.newFolder = name->folder;
        change.oldFolder = name->replaced;
        change.name.assign(m_workers[name->worker]->linkText, name->nameStart, name->nameLength);
        offer(worker, std::move(change));
    }
}

// A path that held a folder and now a file, or the other way round, is one
// entry whose size changed: the earlier folder is not gone, nor the earlier
// file; what the earlier folder held is gone, and what the later one holds new.
void TreeDiff::matchKindChanges(const DirNodeStore &dirs)
{
    std::unordered_map<std::string, std::uint64_t> wasFiles; // by the later parent's place and the name
    std::string key;
    const auto keyOf = [&key](std::size_t parent, std::string_view name) -> const std::string & {
        key.assign(reinterpret_cast<const char *>(&parent), sizeof parent).append(name);
        return key;
    };
    for (auto &worker : m_workers) {
        for (const auto &[old, bytes] : worker->becameFiles)
            m_becameFile.emplace(old, bytes);
        for (const Worker::WasFile &file : worker->wasFiles)
            wasFiles.emplace(keyOf(m_index->of(file.parent), file.name), file.bytes);
        worker->becameFiles = {};
        worker->wasFiles = {};
    }
    if (wasFiles.empty())
        return;
    for (std::size_t i = 1; i < dirs.size(); ++i) {
        if (m_oldOf[i] != noFolder)
            continue;
        const auto file = wasFiles.find(keyOf(m_newParent[i], dirs[i].name()));
        if (file != wasFiles.end())
            m_wasFile.emplace(i, file->second);
    }
}

} // namespace quarn
