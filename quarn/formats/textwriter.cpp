// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/textwriter.h"

#include "core/utf8.h"
#include "formats/sizetext.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quarn {

namespace {

constexpr int barWidth = 20; // characters

} // namespace

void appendPrintable(std::string_view bytes, std::string &out)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t length = validUtf8SequenceLength(bytes.substr(i));
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const std::string_view sequence = bytes.substr(i, length);
        if (isTerminalControl(decodeUtf8(sequence)))
            out += '?';
        else
            out.append(sequence);
        i += length;
    }
}

namespace {

// Bar of share (0..1) of barWidth cells, with eighth-cell resolution.
std::string bar(double share)
{
    static const char *const eighths[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};
    int total = int(share * barWidth * 8 + 0.5);
    if (total > barWidth * 8)
        total = barWidth * 8;
    if (total < 0)
        total = 0;
    std::string text;
    int cells = total / 8;
    for (int i = 0; i < cells; ++i)
        text += "█";
    if (total % 8) {
        text += eighths[total % 8];
        ++cells;
    }
    text.append(std::size_t(barWidth - cells), ' ');
    return text;
}

} // namespace

bool writeText(const Report &report, bool exactSizes, bool colour, OutputSink &sink, std::uint64_t whole)
{
    const std::vector<ReportEntry> &entries = report.entries();
    if (entries.empty())
        return true;
    std::size_t sizeWidth = 0;
    for (const ReportEntry &entry : entries)
        sizeWidth = std::max(sizeWidth, sizeText(entry.size, exactSizes).size());

    // Entries are in pre-order with children largest first: one line each,
    // in order.
    const std::uint64_t total = whole ? whole : entries.front().size;
    ChunkedOutput output(sink);
    std::string &out = output.buffer();
    for (const ReportEntry &entry : entries) {
        const std::string size = sizeText(entry.size, exactSizes);
        const double share = total ? double(entry.size) / double(total) : 0.0;
        char percent[16];
        std::snprintf(percent, sizeof percent, "%5.1f%%", share * 100.0);
        out.append(sizeWidth - size.size(), ' ');
        out += size;
        out += ' ';
        out += percent;
        out += ' ';
        if (colour)
            out += "\033[32m";
        out += bar(share);
        if (colour)
            out += "\033[0m";
        out += ' ';
        out.append(std::size_t(entry.depth) * 2, ' ');
        appendPrintable(report.name(entry), out);
        if (&entry == &entries.front() && !report.linkTarget().empty()) {
            out += " -> ";
            appendPrintable(report.linkTarget(), out);
        }
        const std::string_view error = report.error(entry);
        if (!error.empty()) {
            out += "  [";
            appendPrintable(error, out);
            out += ']';
        }
        out += '\n';
        if (!output.pass())
            return false;
    }
    return output.flush();
}

} // namespace quarn
