// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Any bytes as a disk-usage export, read by the scanner's importer. Besides
// running clean under the sanitizers, the outcome must not depend on how the
// input arrives: read whole or in pieces of 1 to 7 bytes (the first byte
// chooses), the same report or the same problem, at an offset within the
// input. A report must form one tree: the target first at depth 0, every
// later entry at most one level below the one before it, and name only
// paths inside the target: no entry below it named "", ".", "..", or with a
// '/', no two siblings of one name.
#include "formats/ncduimport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what, const std::string &detail = {})
{
    std::fprintf(stderr, "ncdu import: %s %s\n", what, detail.c_str());
    std::abort();
}

quarn::ImportResult importInPieces(std::string_view input, std::size_t piece, quarn::Measure measure)
{
    quarn::ImportSettings settings;
    settings.report.top = 50;
    settings.measure = measure;
    return quarn::importExport(
        [&input, piece](char *buffer, std::size_t size) {
            const std::size_t n = std::min({size, piece, input.size()});
            std::memcpy(buffer, input.data(), n);
            input.remove_prefix(n);
            return long(n);
        },
        settings);
}

std::string describe(const quarn::ImportResult &result)
{
    if (!result.read)
        return "problem " + result.problem;
    std::string text = std::to_string(result.unreadable) + " unreadable, first " + result.firstUnreadable +
                       "|" + result.firstReason + "\n";
    for (const quarn::ReportEntry &entry : result.report.entries()) {
        text += std::to_string(entry.depth) + " " + std::to_string(entry.size) + " ";
        text += result.report.name(entry);
        text += "|";
        text += result.report.error(entry);
        text += "\n";
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 7;
    const std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
    const quarn::Measure measure = data[0] & 0x80   ? quarn::Measure::Apparent
                                   : data[0] & 0x40 ? quarn::Measure::Entries
                                                    : quarn::Measure::Allocated;
    const quarn::ImportResult whole = importInPieces(input, SIZE_MAX, measure);
    const quarn::ImportResult pieces = importInPieces(input, piece, measure);
    if (describe(whole) != describe(pieces))
        fail("result depends on the reads:", describe(whole) + " / " + describe(pieces));
    if (!whole.read) {
        if (whole.problem.rfind("byte ", 0) != 0)
            fail("problem without an offset:", whole.problem);
        if (std::strtoull(whole.problem.c_str() + 5, nullptr, 10) > input.size())
            fail("offset beyond the input:", whole.problem);
        return 0;
    }
    const auto &entries = whole.report.entries();
    if (entries.empty() || entries.front().depth != 0)
        fail("report without its target");
    std::vector<std::set<std::string_view>> siblings; // by depth: names met in the folder open there
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const std::uint32_t depth = entries[i].depth;
        if (depth == 0 || depth > entries[i - 1].depth + 1)
            fail("report is not one tree");
        const std::string_view name = whole.report.name(entries[i]);
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
            fail("name of no entry:", std::string(name));
        siblings.resize(depth + 1); // those of deeper entries were another folder's
        if (!siblings[depth].insert(name).second)
            fail("two siblings named", std::string(name));
    }
    return 0;
}
