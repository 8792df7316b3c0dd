// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "compare/diffwriter.h"

#include "formats/jsonwriter.h"
#include "formats/sizetext.h"
#include "formats/textwriter.h"

#include <algorithm>
#include <vector>

namespace quarn {

std::string changeText(std::uint64_t oldSize, std::uint64_t newSize, bool exact)
{
    return (newSize >= oldSize ? "+" : "-") +
           sizeText(newSize >= oldSize ? newSize - oldSize : oldSize - newSize, exact);
}

bool writeDiffText(const DiffReport &report, bool exactSizes, bool colour, OutputSink &sink)
{
    std::size_t sizeWidth = 0, changeWidth = 0;
    for (const DiffLine &line : report.lines) {
        sizeWidth = std::max(sizeWidth, sizeText(line.newSize, exactSizes).size());
        changeWidth = std::max(changeWidth, changeText(line.oldSize, line.newSize, exactSizes).size());
    }
    ChunkedOutput output(sink);
    std::string &out = output.buffer();
    for (const DiffLine &line : report.lines) {
        const std::string size = sizeText(line.newSize, exactSizes);
        const std::string change = changeText(line.oldSize, line.newSize, exactSizes);
        out.append(sizeWidth - size.size(), ' ');
        out += size;
        out.append(changeWidth - change.size() + 1, ' ');
        const bool coloured = colour && line.oldSize != line.newSize;
        if (coloured)
            out += line.newSize > line.oldSize ? "\033[32m" : "\033[31m";
        out += change;
        if (coloured)
            out += "\033[0m";
        out += ' ';
        out.append(std::size_t(line.depth) * 2, ' ');
        appendPrintable(line.name, out);
        if (!line.wasThere)
            out += "  (new)";
        else if (!line.isThere)
            out += "  (gone)";
        if (!line.error.empty()) {
            out += "  [";
            appendPrintable(line.error, out);
            out += ']';
        }
        out += '\n';
        if (!output.pass())
            return false;
    }
    return output.flush();
}

bool writeDiffJson(const DiffReport &report, OutputSink &sink)
{
    ChunkedOutput output(sink);
    std::string &out = output.buffer();
    std::string path;
    std::vector<std::size_t> ends; // of path, for the entries open at each depth
    const std::vector<DiffLine> &lines = report.lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const DiffLine &line = lines[i];
        // The path of its folder, then its name.
        path.resize(line.depth == 0 ? 0 : ends[line.depth - 1]);
        ends.resize(line.depth);
        if (line.depth > 0 && !path.empty() && path.back() != '/')
            path += '/';
        path += line.name;
        ends.push_back(path.size());
        out += "{\"name\":";
        appendJsonString(path, out);
        out += ",\"size\":" + std::to_string(line.newSize) + ",\"old\":" + std::to_string(line.oldSize) +
               ",\"change\":" + (line.newSize >= line.oldSize ? "" : "-") +
               std::to_string(line.newSize >= line.oldSize ? line.newSize - line.oldSize
                                                           : line.oldSize - line.newSize);
        if (!line.wasThere)
            out += ",\"new\":true";
        else if (!line.isThere)
            out += ",\"gone\":true";
        if (!line.error.empty()) {
            out += ",\"error\":";
            appendJsonString(line.error, out);
        }
        const std::uint32_t nextDepth = i + 1 < lines.size() ? lines[i + 1].depth : 0;
        if (nextDepth > line.depth) {
            out += ",\"children\":[";
        } else {
            out += '}';
            // Close every entry the next one is not inside; siblings are separated by commas.
            for (std::uint32_t d = line.depth; d > nextDepth; --d)
                out += "]}";
            if (i + 1 < lines.size())
                out += ',';
        }
        if (!output.pass())
            return false;
    }
    out += '\n';
    return output.flush();
}

} // namespace quarn
