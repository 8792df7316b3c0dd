// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/dirtree.h"
#include "core/report.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Writes a whole walk in the common disk-usage export format (JSON, version
// 1.2): a folder is an array of its own object followed by its entries,
// every entry with "name", "asize" and "dsize"; "dev" where it differs from
// the folder's; "ino", "hlnkc" and "nlink" for files with several links;
// "notreg", "read_error" and "excluded" where they apply, and beside
// "read_error" the reason ("error", which other readers skip), so that
// quarn's report of the export names it as the walk's did. Names are written
// byte for byte, only '"', '\' and control characters escaped, so names
// that are not UTF-8 read back as the same bytes.
//
// The walk stays parallel and its memory per folder, not per file: the
// worker listing a folder adds its files to a fragment of text that goes
// to the workers' shared temporary file, in one write per folder (or per
// 64 KiB, for huge folders), into stretches of the file each worker takes
// for its own; each folder keeps where its fragment lies. The temporary is
// opened before the walk, so that the walk's descriptors leave room for it;
// where the walk cannot spare one, the fragments stay in memory instead.
// When the walk is over, writeTree goes through the folders in pre-order,
// without recursion, and writes each one's object, then its fragment with
// its subfolders at their places in it: entries in the order listed, so a
// reader counting a file with several links at its first name in the
// document counts it where the walk did.
class NcduExport
{
public:
    // What the walk learnt about an entry.
    struct Entry
    {
        std::uint64_t length = 0;    // st_size
        std::uint64_t allocated = 0; // st_blocks * 512
        std::uint32_t device = 0;    // as in DirNode
        std::uint64_t inode = 0;
        std::uint32_t links = 1;
        bool regular = true; // a regular file or a folder
        // Met through symbolic links, so possibly again under another name:
        // written with its inode, for readers to count it once.
        bool byInode = false;
    };
    // Cycle: a folder shown inside itself without a mount, left out as an
    // error.
    enum class LeftOut { Pattern, OtherFileSystem, Cycle };

    // Opens the temporary file (in TMPDIR, else /tmp) now: failed() tells
    // whether that failed, before any walk.
    NcduExport(OutputSink &out, unsigned workers);
    ~NcduExport();
    NcduExport(const NcduExport &) = delete;
    NcduExport &operator=(const NcduExport &) = delete;

    // During the walk, each worker with its own index, listing one folder at
    // a time: the folder's own sizes once it is known (by its parent's
    // lister; the target's before the walk), its entries, then the end of
    // its listing. A folder that is never listed (unreadable, repeated by a
    // bind mount) is written with its object alone.
    // A subfolder's place is how many bytes of its parent's fragment
    // (fragmentSize) were written when it was found: it is written there,
    // among its parent's entries as they were listed.
    void folderFound(unsigned worker, const DirNode *folder, const Entry &own, std::uint64_t place = 0);
    std::uint64_t fragmentSize(unsigned worker) const
    {
        const Worker &w = m_workers[worker];
        return w.spillSize - w.fragmentStart + w.fragment.size();
    }
    void file(unsigned worker, const DirNode *folder, std::string_view name, const Entry &entry);
    void leftOut(unsigned worker, std::string_view name, LeftOut why);
    void unreadable(unsigned worker, std::string_view name, std::string_view reason); // could not be examined
    void folderListed(unsigned worker, const DirNode *folder);
    void kernelFolder(unsigned worker, const DirNode *folder); // a kernel file system's mount point

    // After the walk: the document, of the folders (dirs[0] the target) or
    // of the target file. False if the output refused it or a temporary
    // file could not be written (error() tells why).
    bool writeTree(const DirNodeStore &dirs, const FolderErrors &errors)
    {
        return !(m_failed = !writeDocument(dirs, errors));
    }
    bool writeFile(std::string_view name, const Entry &entry)
    {
        return !(m_failed = !writeFileDocument(name, entry));
    }
    // Whether the temporary file could not be made, or writeTree or writeFile failed.
    bool failed() const { return m_failed; }
    // Empty when the output refused (the sink knows why).
    const std::string &error() const { return m_error; }

private:
    struct Record
    {
        enum Kind : std::uint8_t { Found, Listed, Kernel };
        const DirNode *dir;
        std::uint64_t first;      // the length, or the fragment's offset
        std::uint64_t second;     // the allocated size, or the fragment's length
        std::uint64_t place : 56; // for Found: bytes of the parent's fragment before the folder
        std::uint64_t kind : 8;
    };
    static_assert(sizeof(Record) == 32, "two records a folder: 64 bytes");
    struct Worker
    {
        // The worker's fragments, one after another from offset 0, lie in
        // stretches of spillStretch bytes of the shared temporary: the one
        // of offset n at stretches[n / spillStretch]; or, without a
        // temporary, in memory.
        std::vector<std::uint64_t> stretches;
        std::string inMemory;
        std::uint64_t spillSize = 0;
        std::uint64_t fragmentStart = 0; // where the folder being listed starts in the spill
        std::string fragment;
        std::vector<Record> records;
        std::string error;
    };

    bool writeDocument(const DirNodeStore &dirs, const FolderErrors &errors);
    bool writeFileDocument(std::string_view name, const Entry &entry);
    void flush(Worker &worker);
    bool spill(Worker &worker, const char *data, std::size_t length);
    long readSpill(const Worker &worker, char *buffer, std::size_t length, std::uint64_t offset) const;
    void header(std::string &out) const;

    OutputSink &m_out;
    std::vector<Worker> m_workers;
    int m_spill = -1;                         // owned; -1: fragments in memory
    std::string m_spillFolder;                // where m_spill lies, for messages
    std::atomic<std::uint64_t> m_spillEnd{0}; // bytes of m_spill taken by stretches
    std::string m_error;
    bool m_failed = false;
};

// Appends bytes as a string of the export: '"', '\' and control characters
// escaped, every other byte as it is.
void appendExportString(std::string_view bytes, std::string &out);

} // namespace quarn
