// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// An export read as a walk of the tree it records: the same folder records, and the same events told to
// those who follow a walk.

#pragma once

#include "core/dirtree.h"
#include "core/entry.h"
#include "core/folderstore.h"
#include "formats/jsonreader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class TopFiles;
class WalkEvents;

struct ExportTree
{
    bool read = false;        // false: problem tells what was wrong with the input
    std::string problem;      // "byte N: WHAT"
    std::string decompressor; // with read false: "zcat" or "xzcat" for input that looks compressed
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
// several links place them where this reader counts them), leftOut,
// unreadable, and for a subfolder subfolderNoted, folderAdded and
// folderEntered at once, its own entries and folderListed before its
// parent's next entry; folders nest so, in store order. A kernel file
// system's mount point gets folderAdded and kernelFolder. Then walkStopped
// and treeDone; for a target that is a file, fileTarget alone. Names no walk
// can meet are refused: "", ".", "..", with a '/' or a NUL (the target's
// name aside: it is a path, any but ""), or named as another entry of its
// folder. Each file is offered to topFiles (null: none) where it counts, as
// the walk's lister offers it.
ExportTree readExportTree(const JsonReader::ReadFunction &read, Measure measure, WalkEvents *events,
                          TopFiles *topFiles = nullptr);

} // namespace quarn
