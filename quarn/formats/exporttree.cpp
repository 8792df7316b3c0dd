// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/exporttree.h"

#include "core/hardlinkset.h"
#include "core/siblingnames.h"
#include "core/walkevents.h"
#include "formats/exportentry.h"
#include "formats/ncduexport.h"

#include <sys/sysmacros.h>

#include <mutex>
#include <vector>

namespace quarn {

namespace {

class TreeReader
{
public:
    TreeReader(JsonReader &in, Measure measure, WalkEvents *events, std::uint64_t *timestamp,
               ExportTree &tree)
        : m_in(in), m_measure(measure), m_events(events), m_files(events ? events->fileListener() : nullptr),
          m_timestamp(timestamp), m_tree(tree)
    {}
    void run();

private:
    // A folder whose array is open: counted (dir set) or inside what the
    // writer left out.
    struct Level
    {
        DirNode *dir;
        std::uint64_t device;
        std::uint64_t entries;
    };

    std::uint64_t counted(const ExportEntry &entry) const
    {
        if (m_measure == Measure::Entries)
            return 1;
        const std::uint64_t bytes = m_measure == Measure::Apparent ? entry.asize : entry.dsize;
        return bytes < largestSize ? bytes : largestSize;
    }
    EntryInfo infoOf(const ExportEntry &entry, std::uint64_t device, bool folder) const;
    void readTree(const ExportEntry &root);
    void addFolder(const ExportEntry &entry);
    void addFile(const ExportEntry &entry);
    void closeFolder();
    void noteUnreadable(DirNode *marked, const DirNode *folder, std::string_view name,
                        const ExportEntry &entry);

    JsonReader &m_in;
    const Measure m_measure;
    WalkEvents *const m_events;
    WalkEvents *const m_files; // of m_events, whom fileCounted goes to; null: nobody
    std::uint64_t *const m_timestamp;
    ExportTree &m_tree;
    bool m_repeatsMarked = false; // gdu: "hlnkc" marks only the names of a file after its first
    HardLinkSet m_links;
    std::vector<Level> m_open;
    std::vector<SiblingNames> m_names; // of each open folder, outermost first
};

EntryInfo TreeReader::infoOf(const ExportEntry &entry, std::uint64_t device, bool folder) const
{
    EntryInfo info{};
    // As the walk keeps it: what the writer stored is the number stat gives.
    info.device = std::uint32_t((major(dev_t(device)) & 0xFFF) << 20 | (minor(dev_t(device)) & 0xFFFFF));
    info.inode = entry.inode;
    info.bytes = counted(entry);
    info.length = entry.asize;
    info.allocated = entry.dsize;
    info.links = 1;
    info.isDirectory = folder;
    info.isRegular = !folder && !entry.notRegular;
    return info;
}

void TreeReader::noteUnreadable(DirNode *marked, const DirNode *folder, std::string_view name,
                                const ExportEntry &entry)
{
    if (marked)
        m_tree.errors.emplace(marked, entry.reason.empty() ? std::string(importedReadError) : entry.reason);
    if (m_tree.unreadable++ == 0) {
        m_tree.firstUnreadable = name.empty() ? displayPath(folder) : displayPath(folder, name);
        m_tree.firstReason = entry.reason;
    }
}

void TreeReader::addFolder(const ExportEntry &entry)
{
    checkEntryName(m_in, entry, m_names.back());
    Level &parent = m_open.back();
    const std::uint64_t device = entry.hasDevice ? entry.device : parent.device;
    m_names.emplace_back();
    if (!parent.dir || (entry.excluded && !entry.kernelFolder)) {
        if (parent.dir && m_events)
            m_events->leftOut(0, entry.name,
                              entry.cycle             ? WalkEvents::LeftOut::Cycle
                              : entry.otherFileSystem ? WalkEvents::LeftOut::OtherFileSystem
                                                      : WalkEvents::LeftOut::Pattern);
        if (parent.dir && entry.readError)
            noteUnreadable(nullptr, parent.dir, entry.name, entry);
        m_open.push_back(Level{nullptr, device, 0});
        return;
    }
    if (parent.dir->depth == UINT32_MAX - 1)
        m_in.failAt(entry.nameOffset, "folders nested too deep");
    ++parent.entries;
    FolderStore &store = *m_tree.store;
    DirNode *node;
    {
        std::lock_guard<std::mutex> guard(store.growthLock());
        node = &store.addChild(parent.dir, entry.name.data(), entry.name.size());
    }
    const EntryInfo info = infoOf(entry, device, true);
    node->device = info.device;
    node->inode = entry.inode;
    node->totalBytes = info.bytes;
    if (entry.readError)
        noteUnreadable(node, node, {}, entry);
    if (m_events) {
        m_events->subfolderNoted(0, node->name(), info);
        m_events->folderAdded(0, node);
    }
    if (entry.kernelFolder) { // an empty folder, whatever the array holds
        if (m_events)
            m_events->kernelFolder(0, node);
        m_open.push_back(Level{nullptr, device, 0});
        return;
    }
    if (m_events)
        m_events->folderEntered(0, node);
    m_open.push_back(Level{node, device, 0});
}

void TreeReader::addFile(const ExportEntry &entry)
{
    checkEntryName(m_in, entry, m_names.back());
    Level &parent = m_open.back();
    if (!parent.dir)
        return;
    // Left out, it counts nothing and marks no folder, though a walk may
    // have left it out for an error (a folder shown inside itself).
    if (entry.excluded) {
        if (m_events)
            m_events->leftOut(0, entry.name,
                              entry.cycle             ? WalkEvents::LeftOut::Cycle
                              : entry.otherFileSystem ? WalkEvents::LeftOut::OtherFileSystem
                                                      : WalkEvents::LeftOut::Pattern);
        if (entry.readError)
            noteUnreadable(nullptr, parent.dir, entry.name, entry);
        return;
    }
    ++parent.entries;
    if (entry.readError) { // not counted; its folder was not read completely
        noteUnreadable(parent.dir, parent.dir, entry.name, entry);
        if (m_events)
            m_events->unreadable(0, entry.name,
                                 entry.reason.empty() ? std::string_view(importedReadError) : entry.reason);
        return;
    }
    const std::uint64_t device = entry.hasDevice ? entry.device : parent.device;
    EntryInfo info = infoOf(entry, device, false);
    bool counts = true;
    if (m_repeatsMarked && entry.hardLink) {
        // A later name of a file gdu met before under a name it did not
        // mark: it counts nothing, wherever it is placed.
        counts = false;
        info.bytes = 0;
    } else if ((entry.hardLink || entry.links > 1) && entry.hasInode) {
        info.links = std::uint32_t(entry.links > 1 ? std::min<std::uint64_t>(entry.links, UINT32_MAX) : 2);
        counts = m_links.insert(dev_t(device), ino_t(entry.inode));
    }
    if (counts) {
        parent.dir->totalBytes = addSizes(parent.dir->totalBytes, info.bytes);
        if (m_files)
            m_files->fileCounted(0, parent.dir, entry.name.c_str(), info.bytes);
    }
    if (m_events)
        m_events->entry(0, parent.dir, entry.name, info);
}

void TreeReader::closeFolder()
{
    const Level &level = m_open.back();
    if (level.dir && m_events)
        m_events->folderListed(0, level.dir, level.entries, level.dir->totalBytes);
    m_names.pop_back();
    m_open.pop_back();
}

// The target folder, whose object root is, and everything in it.
void TreeReader::readTree(const ExportEntry &root)
{
    const bool leftOut = root.excluded && !root.kernelFolder;
    const EntryInfo info = infoOf(root, root.device, true);
    m_tree.store =
        std::make_unique<FolderStore>(root.name, info.device, root.inode, leftOut ? 0 : info.bytes);
    DirNode *node = &m_tree.store->dirs()[0];
    if (root.readError)
        noteUnreadable(node, node, {}, root);
    if (m_events) {
        m_events->subfolderNoted(0, node->name(), info);
        m_events->folderAdded(0, node);
        m_events->walkStarted();
        if (!leftOut)
            m_events->folderEntered(0, node);
    }
    m_names.emplace_back();
    m_open.push_back(Level{leftOut ? nullptr : node, root.device, 0});
    ExportEntry entry;
    while (!m_open.empty()) {
        if (!m_in.commaOr(']')) {
            closeFolder();
            continue;
        }
        const int next = m_in.peek();
        if (next == '[') {
            m_in.expect('[');
            readExportEntry(m_in, entry);
            addFolder(entry);
        } else if (next == '{') {
            readExportEntry(m_in, entry);
            addFile(entry);
        } else if (next < 0) {
            m_in.fail("unexpected end of file");
        } else {
            m_in.fail("expected '[' or '{'");
        }
    }
}

void TreeReader::run()
{
    m_repeatsMarked = readExportHeader(m_in, m_tree.decompressor, &m_tree.timestamp) == "gdu";
    if (m_timestamp)
        *m_timestamp = m_tree.timestamp;
    ExportEntry entry;
    m_in.expect(',');
    const bool file = m_in.peek() == '{';
    if (!file)
        m_in.expect('[');
    readExportEntry(m_in, entry);
    checkRootName(m_in, entry);
    if (!file)
        readTree(entry);
    while (m_in.commaOr(']'))
        m_in.skipValue(); // what later versions may add
    m_in.expectEnd();
    if (file) {
        m_tree.fileName = entry.name;
        m_tree.fileBytes = entry.excluded || entry.readError ? 0 : counted(entry);
        if (entry.readError) {
            m_tree.fileError = entry.reason.empty() ? std::string(importedReadError) : entry.reason;
            if (m_tree.unreadable++ == 0) {
                m_tree.firstUnreadable = entry.name;
                m_tree.firstReason = entry.reason;
            }
        }
        if (m_events)
            m_events->fileTarget(entry.name, infoOf(entry, entry.device, false), {});
        return;
    }
    DirNodeStore &dirs = m_tree.store->dirs();
    for (std::size_t i = dirs.size(); i-- > 1;)
        dirs[i].parent->totalBytes = addSizes(dirs[i].parent->totalBytes, dirs[i].totalBytes);
    if (m_events) {
        m_events->walkStopped();
        m_events->treeDone(dirs, m_tree.errors);
    }
}

} // namespace

ExportTree readExportTree(const JsonReader::ReadFunction &read, Measure measure, WalkEvents *events,
                          std::uint64_t *timestamp)
{
    ExportTree tree;
    JsonReader in(read);
    try {
        TreeReader(in, measure, events, timestamp, tree).run();
        tree.read = true;
    } catch (const JsonError &error) {
        std::string decompressor = std::move(tree.decompressor);
        tree = ExportTree();
        tree.decompressor = std::move(decompressor);
        tree.problem = "byte " + std::to_string(error.offset) + ": " + error.what();
    }
    return tree;
}

void NestedListings::subfolderNoted(unsigned, std::string_view name, const EntryInfo &info)
{
    m_out.subfolderNoted(lister(), name, info);
}

void NestedListings::folderAdded(unsigned, const DirNode *folder)
{
    m_out.folderAdded(lister(), folder);
}

void NestedListings::folderEntered(unsigned, const DirNode *folder)
{
    m_out.ensureWorkers(++m_open);
    m_out.folderEntered(lister(), folder);
}

void NestedListings::entry(unsigned, const DirNode *folder, std::string_view name, const EntryInfo &info)
{
    m_out.entry(lister(), folder, name, info);
}

void NestedListings::leftOut(unsigned, std::string_view name, LeftOut why)
{
    m_out.leftOut(lister(), name, why);
}

void NestedListings::unreadable(unsigned, std::string_view name, std::string_view reason)
{
    m_out.unreadable(lister(), name, reason);
}

void NestedListings::folderListed(unsigned, const DirNode *folder, std::uint64_t entries, std::uint64_t bytes)
{
    m_out.folderListed(lister(), folder, entries, bytes);
    --m_open;
}

void NestedListings::kernelFolder(unsigned, const DirNode *folder)
{
    m_out.kernelFolder(lister(), folder);
}

void NestedListings::treeDone(const DirNodeStore &dirs, const FolderErrors &errors)
{
    m_out.treeDone(dirs, errors);
}

void NestedListings::fileTarget(std::string_view name, const EntryInfo &info, std::string_view linkTarget)
{
    m_out.fileTarget(name, info, linkTarget);
}

} // namespace quarn
