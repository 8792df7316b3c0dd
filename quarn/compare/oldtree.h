// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The earlier scan of a comparison, read from its export: its folders as the export reader keeps them, and
// the files of each folder kept apart, as one fragment in a temporary file, until the comparison needs them.

#pragma once

#include "core/dirtree.h"
#include "core/hardlinkset.h"
#include "core/walkevents.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Follows readExportTree's events (one worker, folders nested, in store
// order). Each folder costs a 24-byte record and 8 bytes of a table of
// subfolders by name, besides the reader's record and name; the files
// cost nothing in memory but those of the folders open in the document.
// Files go to an unlinked temporary file (O_TMPFILE in TMPDIR, else /tmp),
// one write a folder, or stay in memory where none can be made or written.
class OldTree final : public WalkEvents
{
public:
    static constexpr std::size_t none = SIZE_MAX;

    OldTree();
    ~OldTree() override;
    OldTree(const OldTree &) = delete;
    OldTree &operator=(const OldTree &) = delete;

    bool wantsEntries() const override { return true; }
    void folderAdded(unsigned, const DirNode *folder) override;
    void folderEntered(unsigned, const DirNode *folder) override;
    void entry(unsigned, const DirNode *folder, std::string_view name, const EntryInfo &info) override;
    void folderListed(unsigned, const DirNode *folder, std::uint64_t, std::uint64_t) override;
    void treeDone(const DirNodeStore &dirs, const FolderErrors &errors) override;
    void fileTarget(std::string_view, const EntryInfo &info, std::string_view) override
    {
        m_fileBytes = info.bytes;
    }

    // After the reader is done; the store and errors it made must outlive these.
    std::size_t size() const { return m_records.size(); }
    const DirNode &folder(std::size_t i) const { return (*m_dirs)[i]; }
    std::size_t parentOf(std::size_t i) const { return m_records[i].parent; }
    std::uint64_t total(std::size_t i) const { return m_records[i].total; }
    // The target's size: its folder's total, or the file it is.
    std::uint64_t rootTotal() const { return m_records.empty() ? m_fileBytes : m_records[0].total; }
    // Whether the export lists what folder i holds (a kernel file system's mount point it does not).
    bool listed(std::size_t i) const { return m_records[i].listed; }
    // Why folder i could not be read completely; null: it could.
    const std::string *error(std::size_t i) const;
    // The subfolder named name of folder parent; none where there is none (or parent is none).
    std::size_t child(std::size_t parent, std::string_view name) const;
    // Calls visit(name, bytes) for each file of folder i, bytes as it counts
    // there (a file with several links counts at its first place only).
    // buffer holds the fragment meanwhile. False when the temporary file
    // could not be read (errno set).
    template <typename Visit> bool files(std::size_t i, std::string &buffer, const Visit &visit) const
    {
        if (!fragment(i, buffer))
            return false;
        for (std::size_t at = 0; at < buffer.size();) {
            std::size_t length;
            const char *name = readNameLength(buffer.data() + at, length);
            std::uint64_t bytes = 0;
            std::memcpy(&bytes, name + length, sizeof bytes);
            visit(std::string_view(name, length), bytes);
            at = std::size_t(name - buffer.data()) + length + sizeof bytes;
        }
        return true;
    }

private:
    struct Record
    {
        std::uint64_t total = 0;  // the folder and everything below it, once summed
        std::uint64_t spill = 0;  // where its fragment starts: in the file, or (inMemory) in m_memory
        std::uint32_t length = 0; // the fragment's length; a fragment over 4 GiB stays in memory
        std::uint32_t parent : 30;
        std::uint32_t listed : 1;
        std::uint32_t inMemory : 1;
    };
    struct Open
    {
        std::size_t index;
        std::string fragment;
    };

    bool fragment(std::size_t i, std::string &buffer) const;
    std::uint64_t slotOf(std::size_t parent, std::string_view name) const;

    const DirNodeStore *m_dirs = nullptr;
    FolderErrors m_errors; // the few folders the export marks
    std::unique_ptr<DirNodeIndex> m_index;
    std::vector<Record> m_records;     // by store place
    std::vector<std::uint32_t> m_subs; // a table of folders (place + 1) by parent and name; 0: free
    std::vector<Open> m_open;          // the folders open in the document, outermost first
    std::size_t m_openCount = 0;       // of m_open in use (the rest keep their memory)
    HardLinkSet m_links;               // files with several links, counted at their first place
    int m_spill = -1;
    std::uint64_t m_spillSize = 0;
    std::string m_memory; // fragments that could not go to the file
    std::uint64_t m_fileBytes = 0;
};

} // namespace quarn
