// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "report.h"

#include <string>
#include <vector>

namespace quarn {

struct JsonText
{
    std::string text;                  // one JSON document, valid UTF-8, ending in a newline
    std::vector<std::string> badNames; // raw names that were not UTF-8, in output order
};

// Writes the report as nested objects with the keys "name", "size",
// "children" (only when there are children) and "error" (only when set).
// Depends on nothing but its arguments, so it can be fuzzed on its own.
JsonText writeJson(const ReportNode &root, bool exactSizes);

// Appends bytes as a JSON string literal, quotes included. Returns false if
// some bytes were not UTF-8 and became U+FFFD.
bool appendJsonString(std::string_view bytes, std::string &out);

} // namespace quarn
