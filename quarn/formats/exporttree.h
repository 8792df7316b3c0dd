// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// An export read as a walk of the tree it records: the same folder records, and the same events told to
// those who follow a walk.

#pragma once

#include "core/dirtree.h"
#include "core/entry.h"
#include "core/folderstore.h"
#include "core/walkevents.h"
#include "formats/jsonreader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

struct ExportTree
{
    bool read = false;           // false: problem tells what was wrong with the input
    std::string problem;         // "byte N: WHAT"
    std::string decompressor;    // with read false: "zcat" or "xzcat" for input that looks compressed
    std::uint64_t timestamp = 0; // the header's: when the scan was made
    // The folders, dirs()[0] the target, each with its own size (itself and
    // the files it counts, as a walk leaves them before summing); null
    // when the target is a file.
    std::unique_ptr<FolderStore> store;
    FolderErrors errors;
    // Entries marked as not read ("read_error"), and the first of them: its
    // path as a report shows it, and the reason given (empty: none).
    std::uint64_t unreadable = 0;
    std::string firstUnreadable;
    std::string firstReason;
    // A target that is a file: its name, what it counts, and why it could
    // not be read (empty: it could).
    std::string fileName;
    std::uint64_t fileBytes = 0;
    std::string fileError;
};

// Reads an export (JSON, major version 1) as a stream into folder records,
// counted as a walk counts (a file with several links once, at its first
// place in the document; "excluded" entries not at all; missing sizes 0),
// and tells events (null: nobody) what it meets, as worker 0 in the order
// of the document: walkStarted; the target noted, added and entered; then
// for every folder's array its entries as they come: entry for a file
// (the truth of its links and inode, so that those who place files with
// several links place them where this reader counts them), and
// fileCounted where it counts (a file of several links at its first place
// in the document: no linkCounted follows), leftOut,
// unreadable, and for a subfolder subfolderNoted, folderAdded and
// folderEntered at once, its own entries and folderListed before its
// parent's next entry; folders nest so, in store order. A kernel file
// system's mount point gets folderAdded and kernelFolder. Then walkStopped
// and treeDone, each folder's size (in the store kept too) the sum of what
// it holds; for a target that is a file, fileTarget alone. Names no walk
// can meet are refused: "", ".", "..", with a '/' or a NUL (the target's
// name aside: it is a path, any but ""), or named as another entry of its
// folder. Devices are told as the walk tells them (12 bits of major, 20 of
// minor).
// timestamp, if given, gets the header's as soon as it is read.
ExportTree readExportTree(const JsonReader::ReadFunction &read, Measure measure, WalkEvents *events,
                          std::uint64_t *timestamp = nullptr);

// An export's events told to an export writer: each folder open in the
// document listed by a worker of its own (its depth), as the writer takes
// a walk's, one folder at a time a worker. Written so, an export of quarn's
// reads back into itself byte for byte.
class NcduExport;
class NestedListings final : public WalkEvents
{
public:
    explicit NestedListings(NcduExport &out) : m_out(out) {}
    bool wantsEntries() const override { return true; }
    void subfolderNoted(unsigned, std::string_view name, const EntryInfo &info) override;
    void folderAdded(unsigned, const DirNode *folder) override;
    void folderEntered(unsigned, const DirNode *folder) override;
    void entry(unsigned, const DirNode *folder, std::string_view name, const EntryInfo &info) override;
    void leftOut(unsigned, std::string_view name, LeftOut why) override;
    void unreadable(unsigned, std::string_view name, std::string_view reason) override;
    void folderListed(unsigned, const DirNode *folder, std::uint64_t entries, std::uint64_t bytes) override;
    void kernelFolder(unsigned, const DirNode *folder) override;
    void treeDone(const DirNodeStore &dirs, const FolderErrors &errors) override;
    void fileTarget(std::string_view name, const EntryInfo &info, std::string_view linkTarget) override;

private:
    // The worker listing the folder open last (the target's before it is entered).
    unsigned lister() const { return m_open ? m_open - 1 : 0; }

    NcduExport &m_out;
    unsigned m_open = 0; // folders entered and not listed yet
};

} // namespace quarn
