// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The pieces of a disk-usage export (JSON, major version 1) that every reader of one needs: its header, an
// entry's object, and the names a walk can meet.

#pragma once

#include "formats/jsonreader.h"

#include <cstdint>
#include <string>

namespace quarn {

class SiblingNames;

// One entry's object, as far as counting needs it.
struct ExportEntry
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
    std::string reason;           // "error": why it could not be read, as quarn writes it
    bool excluded = false;        // left out by the writer, for any reason
    bool kernelFolder = false;    // left out as a kernel file system's mount point
    bool otherFileSystem = false; // left out as on another file system ("otherfs")
    bool cycle = false;           // left out as a folder shown inside itself ("cycle")
    bool notRegular = false;      // "notreg": neither a regular file nor a folder
};

// Reads one entry's object into entry, whose texts keep their memory from
// one entry to the next.
void readExportEntry(JsonReader &in, ExportEntry &entry);

// Reads the document's start up to its tree: '[', the major version (1),
// the minor one and the header object. Returns the name of the program that
// wrote it ("progname"). A start that gzip or xz output has is refused as
// such, with decompressor set to the program that reads it ("zcat", "xzcat").
// timestamp, if given, gets the header's "timestamp" (0: none).
std::string readExportHeader(JsonReader &in, std::string &decompressor, std::uint64_t *timestamp = nullptr);

// Refuses a name no target can have: empty, or holding a NUL.
void checkRootName(const JsonReader &in, const ExportEntry &entry);
// Refuses a name no folder can hold ("", ".", "..", a '/' or a NUL), or
// one its folder holds already (names: the folder's names so far).
void checkEntryName(const JsonReader &in, const ExportEntry &entry, SiblingNames &names);

// The error text of a folder the export marks as not read completely
// without saying why.
constexpr const char *importedReadError = "read error";

} // namespace quarn
