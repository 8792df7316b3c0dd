// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/ncduimport.h"

#include "core/dirtree.h"
#include "core/siblingnames.h"
#include "formats/exportentry.h"
#include "select/selection.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

namespace quarn {

namespace {

using Info = ExportEntry;

class TreeBuilder
{
public:
    TreeBuilder(JsonReader &in, const ImportSettings &settings, ImportResult &result)
        : m_in(in), m_settings(settings), m_result(result), m_topFiles(settings.top, settings.maxDepth)
    {}
    Report run();

private:
    // A folder whose array is open: counted (dir set) or inside what the
    // writer left out.
    struct Level
    {
        DirNode *dir;
        std::uint64_t device;
    };
    struct LinkKey
    {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const LinkKey &other) const { return device == other.device && inode == other.inode; }
    };
    struct LinkHash
    {
        std::size_t operator()(const LinkKey &key) const
        {
            return std::hash<std::uint64_t>()(key.inode * 0x9E3779B97F4A7C15ull ^ key.device);
        }
    };

    std::uint64_t counted(const Info &info) const
    {
        if (m_settings.measure == Measure::Entries)
            return 1;
        const std::uint64_t bytes = m_settings.measure == Measure::Apparent ? info.asize : info.dsize;
        return bytes < largestSize ? bytes : largestSize;
    }
    void checkName(const Info &info) { checkEntryName(m_in, info, m_names.back()); }
    void openFolder(DirNode *dir, std::uint64_t device);
    void closeFolder();
    void readTree(const Info &root);
    void addFolder(const Info &info);
    void addFile(const Info &info);
    // Notes an entry marked as not read: the folder marked (the first
    // reason stays), the entry counted and the first one kept. Its path is
    // that of folder, or of name in folder.
    void noteUnreadable(DirNode *marked, const DirNode *folder, std::string_view name, const Info &info);
    const char *keepName(const std::string &name);

    JsonReader &m_in;
    const ImportSettings &m_settings;
    ImportResult &m_result;
    DirNodeStore m_dirs;
    FolderErrors m_errors;
    TopFiles m_topFiles;
    bool m_repeatsMarked = false; // "hlnkc" marks only the names of a file after its first
    std::unordered_set<LinkKey, LinkHash> m_links;
    std::vector<Level> m_open;
    std::vector<SiblingNames> m_names; // of each open folder, outermost first
    std::string m_rootName;
    std::vector<std::unique_ptr<char[]>> m_nameChunks;
    char *m_nameFree = nullptr;
    std::size_t m_nameLeft = 0;
};

void TreeBuilder::openFolder(DirNode *dir, std::uint64_t device)
{
    m_open.push_back(Level{dir, device});
    m_names.emplace_back();
}

void TreeBuilder::closeFolder()
{
    m_names.pop_back();
    m_open.pop_back();
}

const char *TreeBuilder::keepName(const std::string &name)
{
    unsigned char prefix[nameLengthBytes];
    const std::size_t prefixLength = writeNameLength(name.size(), prefix);
    const std::size_t kept = prefixLength + name.size();
    if (kept > m_nameLeft) {
        const std::size_t size = std::max<std::size_t>(64 * 1024, kept);
        m_nameChunks.emplace_back(new char[size]);
        m_nameFree = m_nameChunks.back().get();
        m_nameLeft = size;
    }
    char *at = m_nameFree;
    std::memcpy(at, prefix, prefixLength);
    std::memcpy(at + prefixLength, name.data(), name.size());
    m_nameFree += kept;
    m_nameLeft -= kept;
    return at;
}

void TreeBuilder::noteUnreadable(DirNode *marked, const DirNode *folder, std::string_view name,
                                 const Info &info)
{
    const std::string reason = info.reason.empty() ? std::string(importedReadError) : info.reason;
    if (marked)
        m_errors.emplace(marked, reason);
    if (m_result.unreadable++ == 0) {
        m_result.firstUnreadable = name.empty() ? displayPath(folder) : displayPath(folder, name);
        m_result.firstReason = info.reason;
    }
}

void TreeBuilder::addFolder(const Info &info)
{
    checkName(info);
    const Level &parent = m_open.back();
    const std::uint64_t device = info.hasDevice ? info.device : parent.device;
    // A kernel file system's mount point counts as an empty folder; what
    // else the writer left out counts nothing, nor does anything below it.
    if (!parent.dir || (info.excluded && !info.kernelFolder)) {
        if (parent.dir && info.readError)
            noteUnreadable(nullptr, parent.dir, info.name, info);
        openFolder(nullptr, device);
        return;
    }
    if (parent.dir->depth == UINT32_MAX - 1)
        m_in.failAt(info.nameOffset, "folders nested too deep");
    DirNode &node = m_dirs.add();
    node.nameData = keepName(info.name);
    node.parent = parent.dir;
    node.depth = parent.dir->depth + 1;
    node.totalBytes = counted(info);
    if (info.readError)
        noteUnreadable(&node, &node, {}, info);
    openFolder(&node, device);
}

void TreeBuilder::addFile(const Info &info)
{
    checkName(info);
    const Level &parent = m_open.back();
    if (!parent.dir)
        return;
    // Left out, it counts nothing and marks no folder, though a walk may
    // have left it out for an error (a folder shown inside itself).
    if (info.excluded) {
        if (info.readError)
            noteUnreadable(nullptr, parent.dir, info.name, info);
        return;
    }
    if (info.readError) { // not counted; its folder was not read completely
        noteUnreadable(parent.dir, parent.dir, info.name, info);
        return;
    }
    // A file with several links counts, and is shown, only where it is met
    // first, as in the walk. gdu marks only the names after the first.
    if (m_repeatsMarked && info.hardLink)
        return;
    if ((info.hardLink || info.links > 1) && info.hasInode &&
        !m_links.insert(LinkKey{info.hasDevice ? info.device : parent.device, info.inode}).second)
        return;
    const std::uint64_t bytes = counted(info);
    parent.dir->totalBytes = addSizes(parent.dir->totalBytes, bytes);
    m_topFiles.offer(bytes, parent.dir, info.name);
}

// The target folder, whose object root is, and everything in it.
void TreeBuilder::readTree(const Info &root)
{
    m_rootName = root.name;
    DirNode &node = m_dirs.add();
    node.nameData = m_rootName.c_str();
    const bool leftOut = root.excluded && !root.kernelFolder;
    node.totalBytes = leftOut ? 0 : counted(root);
    if (root.readError)
        noteUnreadable(&node, &node, {}, root);
    openFolder(leftOut ? nullptr : &node, root.device);
    Info info;
    while (!m_open.empty()) {
        if (!m_in.commaOr(']')) {
            closeFolder();
            continue;
        }
        const int next = m_in.peek();
        if (next == '[') {
            m_in.expect('[');
            readExportEntry(m_in, info);
            addFolder(info);
        } else if (next == '{') {
            readExportEntry(m_in, info);
            addFile(info);
        } else if (next < 0) {
            m_in.fail("unexpected end of file");
        } else {
            m_in.fail("expected '[' or '{'");
        }
    }
    for (std::size_t i = m_dirs.size(); i-- > 1;)
        m_dirs[i].parent->totalBytes = addSizes(m_dirs[i].parent->totalBytes, m_dirs[i].totalBytes);
}

Report TreeBuilder::run()
{
    m_repeatsMarked = readExportHeader(m_in, m_result.decompressor) == "gdu";

    Info info;
    m_in.expect(',');
    Report report;
    if (m_in.peek() == '{') { // the target is a file
        readExportEntry(m_in, info);
        checkRootName(m_in, info);
        const std::string reason = info.reason.empty() ? std::string(importedReadError) : info.reason;
        if (info.readError && m_result.unreadable++ == 0) {
            m_result.firstUnreadable = info.name;
            m_result.firstReason = info.reason;
        }
        report.add(0, info.name, info.excluded || info.readError ? 0 : counted(info),
                   info.readError ? reason : std::string());
    } else {
        m_in.expect('[');
        readExportEntry(m_in, info);
        checkRootName(m_in, info);
        readTree(info);
    }
    while (m_in.commaOr(']'))
        m_in.skipValue(); // what later versions may add
    m_in.expectEnd();
    if (m_dirs.size() == 0)
        return report;
    return selectReport(m_dirs, m_errors, m_topFiles.candidates(), m_settings.top, m_settings.maxDepth);
}

} // namespace

ImportResult importExport(const JsonReader::ReadFunction &read, const ImportSettings &settings)
{
    ImportResult result;
    JsonReader in(read);
    try {
        TreeBuilder builder(in, settings, result);
        result.report = builder.run();
        result.read = true;
    } catch (const JsonError &error) {
        std::string decompressor = std::move(result.decompressor);
        result = ImportResult();
        result.decompressor = std::move(decompressor);
        result.problem = "byte " + std::to_string(error.offset) + ": " + error.what();
    }
    return result;
}

} // namespace quarn
