// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/report.h"

#include <functional>
#include <string>
#include <string_view>

namespace quarn {

// Writes the report to out as one JSON document of nested objects with the
// keys "name" (the entry's full path), "size", "children" (only when there
// are children) and "error" (only when set), and a final newline. badName,
// when given, gets the full path of each entry whose path has bytes that are
// not UTF-8 (U+FFFD in the output), in output order. Returns false if out
// refused a chunk; nothing more is written then. Depends on nothing but its
// arguments, so it can be fuzzed on its own.
bool writeJson(const Report &report, bool exactSizes, OutputSink &out,
               const std::function<void(std::string_view path)> &badName = {});

// Appends bytes as a JSON string literal, quotes included: controls (C0,
// DEL, C1) and bidirectional overrides and isolates as \uXXXX, so that the
// document is safe to show raw on a terminal. Returns false if some bytes
// were not UTF-8 and became U+FFFD.
bool appendJsonString(std::string_view bytes, std::string &out);
// Appends one byte below 0x80 as a JSON string holds it: the quote, the
// backslash, C0 controls and DEL escaped, anything else as it is.
void appendJsonAscii(char c, std::string &out);

} // namespace quarn
