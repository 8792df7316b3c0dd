// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn {

// One entry of the printed report: what the JSON and text writers consume.
struct ReportNode
{
    std::string name; // full path as raw bytes (the target: the path as given, trailing slashes removed)
    std::uint64_t size = 0;           // bytes counted for this entry and everything below it
    std::string error;                // why the entry could not be read completely; empty if it could
    std::vector<ReportNode> children; // reported children, largest first
};

} // namespace quarn
