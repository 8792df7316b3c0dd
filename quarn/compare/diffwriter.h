// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "compare/treediff.h"
#include "core/report.h"

#include <cstdint>
#include <string>

namespace quarn {

// The signed change from oldSize to newSize: "+1.02G", "-12.0M", "+0"; with
// exact set, the integer: "+1073741824".
std::string changeText(std::uint64_t oldSize, std::uint64_t newSize, bool exact);

// Writes a comparison as an indented tree, one line per entry: the later
// size and the change, right-aligned, then the name (the target's path,
// the last component below it) with "(new)" or "(gone)" for an entry that
// appeared or is gone and the error in brackets; names shown as the text
// report shows them; with colour, growth green and shrinking red. False if
// out refused a chunk.
bool writeDiffText(const DiffReport &report, bool exactSizes, bool colour, OutputSink &out);

// Writes it as one JSON document on one line, entries nested as in the JSON
// report: {"name": FULL PATH, "size": LATER, "old": EARLIER, "change":
// SIGNED, "new": true or "gone": true where it applies, "error": TEXT where
// either scan could not read it, "children": [...] where any}, sizes as
// integers.
bool writeDiffJson(const DiffReport &report, OutputSink &out);

} // namespace quarn
