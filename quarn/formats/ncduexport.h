// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/dirtree.h"
#include "core/report.h"
#include "core/walkevents.h"

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
class NcduExport final : public WalkEvents
{
public:
    // Opens the temporary file (in TMPDIR, else /tmp) now: failed() tells
    // whether that failed, before any walk.
    NcduExport(OutputSink &out, unsigned workers);
    ~NcduExport();
    NcduExport(const NcduExport &) = delete;
    NcduExport &operator=(const NcduExport &) = delete;

    // Every file is written with its inode: the walk follows symbolic
    // links, so any file may be met again under another name, and readers
    // count it once by its inode.
    void writeEveryInode() { m_everyInode = true; }
    // The header's timestamp is *at when the document is written, not the
    // time then: an export written again keeps when its scan was made.
    void keepTimestamp(const std::uint64_t *at) { m_timestamp = at; }
    // At least count workers from now on. Only while no other thread
    // calls: a reader of an export lists each open folder as a worker of
    // its own.
    void ensureWorkers(unsigned count)
    {
        if (count > m_workers.size())
            m_workers.resize(count);
    }

    // A subfolder is written where it was noted among its parent's entries:
    // how many bytes of the parent's fragment were written then. A folder
    // that is never listed (unreadable, repeated by a bind mount) is
    // written with its object alone.
    bool wantsEntries() const override { return true; }
    void subfolderNoted(unsigned worker, std::string_view, const EntryInfo &info) override;
    void folderAdded(unsigned worker, const DirNode *folder) override;
    void entry(unsigned worker, const DirNode *folder, std::string_view name, const EntryInfo &info) override;
    void leftOut(unsigned worker, std::string_view name, LeftOut why) override;
    void unreadable(unsigned worker, std::string_view name, std::string_view reason) override;
    void folderListed(unsigned worker, const DirNode *folder, std::uint64_t, std::uint64_t) override;
    void kernelFolder(unsigned worker, const DirNode *folder) override;

    // After the walk: the document, of the folders (dirs[0] the target) or
    // of the target file; failed() tells whether the output refused it or a
    // temporary file could not be written (error() tells why).
    void treeDone(const DirNodeStore &dirs, const FolderErrors &errors) override
    {
        m_failed = !writeDocument(dirs, errors);
    }
    void fileTarget(std::string_view name, const EntryInfo &info, std::string_view) override
    {
        m_failed = !writeFileDocument(name, info);
    }
    // Whether the temporary file could not be made, or the document could not be written.
    bool failed() const { return m_failed; }
    // Empty when the output refused (the sink knows why).
    const std::string &error() const { return m_error; }

private:
    // What a worker learnt of a folder: found in its parent's listing (its
    // sizes, and where in the parent's fragment), listed (where its own
    // fragment lies in the worker's spill), or a kernel file system's mount
    // point. Two numbers serve each kind, under the kind's names.
    struct Record
    {
        enum Kind : std::uint8_t { Found, Listed, Kernel };
        static Record found(const EntryInfo &info, std::uint64_t place)
        {
            return Record{nullptr, info.length, info.allocated, place, Found};
        }
        static Record listed(const DirNode *dir, std::uint64_t offset, std::uint64_t length)
        {
            return Record{dir, offset, length, 0, Listed};
        }
        static Record kernel(const DirNode *dir) { return Record{dir, 0, 0, 0, Kernel}; }
        std::uint64_t length() const { return numbers[0]; }         // Found: the folder's, in bytes
        std::uint64_t allocated() const { return numbers[1]; }      // Found
        std::uint64_t fragmentOffset() const { return numbers[0]; } // Listed: in the worker's spill
        std::uint64_t fragmentLength() const { return numbers[1]; } // Listed

        const DirNode *dir; // null for Found until folderAdded names the node
        std::uint64_t numbers[2];
        std::uint64_t place : 56; // Found: bytes of the parent's fragment before the folder
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
        // Of subfolders noted and not added yet, in the order noted: the
        // length, the allocated size and the place in the parent's fragment.
        std::vector<Record> noted;
        std::size_t nextNoted = 0; // the first of noted not added yet
        std::string error;
    };

    // Bytes of the fragment of the folder worker lists written so far.
    std::uint64_t fragmentSize(unsigned worker) const
    {
        const Worker &w = m_workers[worker];
        return w.spillSize - w.fragmentStart + w.fragment.size();
    }
    bool writeDocument(const DirNodeStore &dirs, const FolderErrors &errors);
    bool writeFileDocument(std::string_view name, const EntryInfo &info);
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
    bool m_everyInode = false;                  // writeEveryInode()
    const std::uint64_t *m_timestamp = nullptr; // keepTimestamp()
};

// Appends bytes as a string of the export: '"', '\' and control characters
// escaped, every other byte as it is.
void appendExportString(std::string_view bytes, std::string &out);

} // namespace quarn
