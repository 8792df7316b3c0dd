// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/report.h"

#include <string>
#include <string_view>

namespace quarn {

// Writes the report as an indented tree, one line per entry: size text
// right-aligned, share of the target's total, a bar of block characters and
// the name (the whole path for the target, the last component below it).
// Names are made printable: bytes that are not UTF-8 become U+FFFD, and
// C0 and C1 control characters, DEL and the bidirectional embeddings,
// overrides and isolates '?', so a name can never move the cursor, recolour
// a terminal or reorder the rest of its line. With colour set (stdout is a
// terminal) the bars are coloured. Returns false if out refused a chunk;
// nothing more is written then.
// whole: what the shares are of; 0: the first entry's size (the target's).
bool writeText(const Report &report, bool exactSizes, bool colour, OutputSink &out, std::uint64_t whole = 0);

// Appends bytes as the text report shows a name: U+FFFD for each byte that
// is not UTF-8 and '?' for each character a terminal would act on instead
// of showing.
void appendPrintable(std::string_view bytes, std::string &out);

} // namespace quarn
