// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/entry.h"
#include "core/report.h"
#include "formats/exportentry.h"
#include "formats/jsonreader.h"
#include "select/selection.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

struct ImportSettings
{
    ReportOptions report;
    Measure measure = Measure::Allocated; // "dsize", "asize", or 1 for each entry
};

struct ImportResult
{
    bool read = false;   // false: problem tells what was wrong with the input
    std::string problem; // "byte N: WHAT"
    // With read false: the program that writes the input out uncompressed
    // ("zcat", "xzcat") when it starts as such a compressed file does.
    std::string decompressor;
    Report report;
    // Entries the export marks as not read completely ("read_error"), and
    // the first of them: its path as the report shows paths, and the reason
    // given (empty: none).
    std::uint64_t unreadable = 0;
    std::string firstUnreadable;
    std::string firstReason;
};

// The report from a disk-usage export (JSON, major version 1, any minor
// version) read from read, counted as a walk counts: a file with several
// links once, at its first place in the document (keyed by "dev", inherited
// from the folder, and "ino"); entries left out by the writer ("excluded")
// neither counted nor reported, except a kernel file system's mount point,
// an empty folder; a file that could not be read not counted, its folder
// marked as not read completely, as is a folder with "read_error", with the
// reason quarn writes beside it ("error") or importedReadError. Missing
// sizes count 0. The document is read as a stream into the same folder
// records a walk makes, each file offered to the same top files: memory
// grows with folders, the depth and the entries of the folders open on the
// way down, never with files elsewhere or the document. An entry no walk
// can meet is refused: named "", ".", "..", with a '/' or a NUL (the
// target's name aside: it is a path, any but ""), or named as another
// entry of its folder.
ImportResult importExport(const JsonReader::ReadFunction &read, const ImportSettings &settings);

} // namespace quarn
