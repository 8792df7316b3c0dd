// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/ncduimport.h"

#include "core/dirtree.h"
#include "core/siblingnames.h"
#include "select/selection.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

namespace quarn {

namespace {

// A report keeps names' lengths in 32 bits; any name a file system serves
// is far shorter.
constexpr std::size_t longestName = UINT32_MAX;
// Keys and values only compared with a few short words: what is kept of
// longer ones, which then match none (no more than a short string holds
// without allocating).
constexpr std::size_t keptWord = 15;

// One entry's object, as far as counting needs it.
struct Info
{
    std::uint64_t nameOffset = 0; // of the name's opening quote
    std::string name;
    bool named = false;
    std::uint64_t asize = 0;
    std::uint64_t dsize = 0;
    std::uint64_t device = 0;
    bool hasDevice = false;
    std::uint64_t inode = 0;
    bool hasInode = false;
    std::uint64_t links = 0;
    bool hardLink = false; // "hlnkc", from versions that had no "nlink"
    bool readError = false;
    std::string reason;        // "error": why it could not be read, as quarn writes it
    bool excluded = false;     // left out by the writer, for any reason
    bool kernelFolder = false; // left out as a kernel file system's mount point
};

// Reads one entry's object into info, whose texts keep their memory from
// one entry to the next.
void readInfo(JsonReader &in, Info &info)
{
    const std::uint64_t start = in.offset();
    info.named = info.hasDevice = info.hasInode = info.hardLink = false;
    info.readError = info.excluded = info.kernelFolder = false;
    info.asize = info.dsize = info.device = info.inode = info.links = 0;
    info.reason.clear();
    std::string key, word;
    in.expect('{');
    if (in.peek() == '}') {
        in.expect('}');
    } else {
        do {
            if (!in.readStringStart(key, keptWord))
                key.clear(); // longer than any key known
            in.expect(':');
            if (key == "name") {
                in.peek();
                info.nameOffset = in.offset();
                in.readString(&info.name, longestName);
                info.named = true;
            } else if (key == "asize") {
                info.asize = in.readUnsigned();
            } else if (key == "dsize") {
                info.dsize = in.readUnsigned();
            } else if (key == "dev") {
                info.device = in.readUnsigned();
                info.hasDevice = true;
            } else if (key == "ino") {
                info.inode = in.readUnsigned();
                info.hasInode = true;
            } else if (key == "nlink") {
                info.links = in.readUnsigned();
            } else if (key == "hlnkc") {
                info.hardLink = in.readBool();
            } else if (key == "read_error") {
                info.readError = in.readBool();
            } else if (key == "excluded") {
                info.excluded = true;
                info.kernelFolder = in.readStringStart(word, keptWord) && word == "kernfs";
            } else if (key == "error" && in.peek() == '"') {
                in.readString(&info.reason);
            } else {
                in.skipValue(); // later versions' keys, and those counting does not need
            }
        } while (in.commaOr('}'));
    }
    if (!info.named)
        in.failAt(start, "entry without a name");
}

class TreeBuilder
{
public:
    TreeBuilder(JsonReader &in, const ImportSettings &settings, ImportResult &result)
        : m_in(in), m_settings(settings), m_result(result), m_topFiles(settings.top, settings.maxDepth)
    {}
    Report run();

private:
    // Reads the header object: the name of the program that wrote the file.
    std::string writerName();
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
    void checkRootName(const Info &info) const;
    // Refuses a name no folder can hold, or one its folder holds already.
    void checkName(const Info &info);
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

void TreeBuilder::checkRootName(const Info &info) const
{
    if (info.name.empty())
        m_in.failAt(info.nameOffset, "empty name");
    if (info.name.find('\0') != std::string::npos)
        m_in.failAt(info.nameOffset, "name holds a NUL byte");
}

void TreeBuilder::checkName(const Info &info)
{
    checkRootName(info);
    if (info.name == "." || info.name == "..")
        m_in.failAt(info.nameOffset, "'" + info.name + "' cannot be an entry's name");
    if (info.name.find('/') != std::string::npos)
        m_in.failAt(info.nameOffset, "name holds a '/'");
    if (!m_names.back().insert(info.name))
        m_in.failAt(info.nameOffset, "name given twice in one folder");
}

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

std::string TreeBuilder::writerName()
{
    std::string key, name;
    m_in.expect('{');
    if (m_in.peek() == '}') {
        m_in.expect('}');
        return name;
    }
    do {
        const bool progname = m_in.readStringStart(key, keptWord) && key == "progname";
        m_in.expect(':');
        if (!progname || m_in.peek() != '"')
            m_in.skipValue(); // its version and time
        else if (!m_in.readStringStart(name, keptWord))
            name.clear(); // longer than any name compared with
    } while (m_in.commaOr('}'));
    return name;
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
            readInfo(m_in, info);
            addFolder(info);
        } else if (next == '{') {
            readInfo(m_in, info);
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
    // No JSON document starts so; a gzip file (1f 8b) or an xz one (fd 37 7a) does.
    const int first = m_in.peek();
    if (first == 0x1f || first == 0xfd) {
        m_result.decompressor = first == 0x1f ? "zcat" : "xzcat";
        m_in.fail("looks compressed");
    }
    m_in.expect('[');
    const std::uint64_t versionOffset = m_in.offset();
    const std::uint64_t major = m_in.readUnsigned();
    if (major != 1)
        m_in.failAt(versionOffset, "unsupported major version " + std::to_string(major));
    m_in.expect(',');
    m_in.readUnsigned(); // every minor version of 1 reads alike
    m_in.expect(',');
    m_repeatsMarked = writerName() == "gdu";

    Info info;
    m_in.expect(',');
    Report report;
    if (m_in.peek() == '{') { // the target is a file
        readInfo(m_in, info);
        checkRootName(info);
        const std::string reason = info.reason.empty() ? std::string(importedReadError) : info.reason;
        if (info.readError && m_result.unreadable++ == 0) {
            m_result.firstUnreadable = info.name;
            m_result.firstReason = info.reason;
        }
        report.add(0, info.name, info.excluded || info.readError ? 0 : counted(info),
                   info.readError ? reason : std::string());
    } else {
        m_in.expect('[');
        readInfo(m_in, info);
        checkRootName(info);
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
