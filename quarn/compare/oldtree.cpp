// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "compare/oldtree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

namespace quarn {

namespace {

std::uint64_t nameHash(std::size_t parent, std::string_view name)
{
    std::uint64_t hash = 14695981039346656037ull ^ (parent * 0x9E3779B97F4A7C15ull); // FNV-1a
    for (const char c : name)
        hash = (hash ^ std::uint8_t(c)) * 1099511628211ull;
    return hash ^ (hash >> 29);
}

} // namespace

OldTree::OldTree()
{
    const char *folder = std::getenv("TMPDIR");
    if (!folder || !*folder)
        folder = "/tmp";
    m_spill = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

OldTree::~OldTree()
{
    if (m_spill >= 0)
        ::close(m_spill);
}

void OldTree::folderAdded(unsigned, const DirNode *folder)
{
    if (m_records.size() >= (std::size_t(1) << 30))
        throw std::bad_alloc(); // a record keeps its parent's place in 30 bits: a billion folders
    Record record;
    record.parent = 0;
    record.listed = 0;
    record.inMemory = 0;
    if (folder->parent) // the reader adds each folder while its parent is the folder open last
        record.parent = std::uint32_t(m_open[m_openCount - 1].index);
    m_records.push_back(record);
}

void OldTree::folderEntered(unsigned, const DirNode *)
{
    if (m_openCount == m_open.size())
        m_open.emplace_back();
    Open &open = m_open[m_openCount++];
    open.index = m_records.size() - 1; // entered as soon as added
    open.fragment.clear();
}

void OldTree::entry(unsigned, const DirNode *, std::string_view name, const EntryInfo &info)
{
    std::uint64_t bytes = info.bytes;
    if (info.links > 1 && !m_links.insert(dev_t(info.device), ino_t(info.inode)))
        bytes = 0; // counted at its first place
    std::string &fragment = m_open[m_openCount - 1].fragment;
    unsigned char prefix[nameLengthBytes];
    fragment.append(reinterpret_cast<const char *>(prefix), writeNameLength(name.size(), prefix));
    fragment.append(name);
    fragment.append(reinterpret_cast<const char *>(&bytes), sizeof bytes);
}

void OldTree::folderListed(unsigned, const DirNode *, std::uint64_t, std::uint64_t)
{
    Open &open = m_open[--m_openCount];
    Record &record = m_records[open.index];
    record.listed = 1;
    const std::string &fragment = open.fragment;
    if (fragment.empty())
        return;
    if (m_spill >= 0 && fragment.size() <= UINT32_MAX) {
        std::size_t done = 0;
        while (done < fragment.size()) {
            const ssize_t written =
                ::pwrite(m_spill, fragment.data() + done, fragment.size() - done, off_t(m_spillSize + done));
            if (written <= 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            done += std::size_t(written);
        }
        if (done == fragment.size()) {
            record.spill = m_spillSize;
            record.length = std::uint32_t(fragment.size());
            m_spillSize += fragment.size();
            return;
        }
    }
    // No room in the file: this one stays in memory.
    record.inMemory = 1;
    record.spill = m_memory.size();
    record.length = std::uint32_t(std::min<std::size_t>(fragment.size(), UINT32_MAX));
    m_memory.append(fragment, 0, record.length);
}

void OldTree::treeDone(const DirNodeStore &dirs, const FolderErrors &errors)
{
    m_dirs = &dirs;
    m_errors = errors;
    m_index = std::make_unique<DirNodeIndex>(dirs);
    m_open = std::vector<Open>();
    const std::size_t count = m_records.size();
    for (std::size_t i = 0; i < count; ++i)
        m_records[i].total = dirs[i].totalBytes; // summed already
    std::size_t slots = 16;
    while (slots < 2 * count)
        slots *= 2;
    m_subs.assign(slots, 0);
    for (std::size_t i = 1; i < count; ++i) {
        std::size_t slot = nameHash(m_records[i].parent, dirs[i].name()) & (slots - 1);
        while (m_subs[slot])
            slot = (slot + 1) & (slots - 1);
        m_subs[slot] = std::uint32_t(i + 1);
    }
}

const std::string *OldTree::error(std::size_t i) const
{
    if (m_errors.empty())
        return nullptr;
    const auto found = m_errors.find(&(*m_dirs)[i]);
    return found == m_errors.end() ? nullptr : &found->second;
}

std::size_t OldTree::child(std::size_t parent, std::string_view name) const
{
    if (parent == none || m_subs.empty())
        return none;
    const std::size_t mask = m_subs.size() - 1;
    for (std::size_t slot = nameHash(parent, name) & mask; m_subs[slot]; slot = (slot + 1) & mask) {
        const std::size_t i = m_subs[slot] - 1;
        if (m_records[i].parent == parent && (*m_dirs)[i].name() == name)
            return i;
    }
    return none;
}

bool OldTree::fragment(std::size_t i, std::string &buffer) const
{
    const Record &record = m_records[i];
    if (record.inMemory) {
        buffer.assign(m_memory, record.spill, record.length);
        return true;
    }
    buffer.resize(record.length);
    for (std::size_t done = 0; done < record.length;) {
        const ssize_t got =
            ::pread(m_spill, buffer.data() + done, record.length - done, off_t(record.spill + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO;
            return false;
        }
        done += std::size_t(got);
    }
    return true;
}

} // namespace quarn
