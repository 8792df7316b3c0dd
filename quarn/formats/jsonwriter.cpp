// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/jsonwriter.h"

#include "core/utf8.h"
#include "formats/sizetext.h"

#include <cstdio>
#include <vector>

namespace quarn {

namespace {

// Appends bytes escaped for the inside of a JSON string literal. Returns
// false if some bytes were not UTF-8 and became U+FFFD.
bool appendJsonEscaped(std::string_view bytes, std::string &out)
{
    bool clean = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t length = validUtf8SequenceLength(bytes.substr(i));
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                clean = false;
                ++i;
            } else {
                // C1 controls and bidirectional overrides escaped, so that
                // the text shown raw on a terminal cannot act on it.
                const std::string_view sequence = bytes.substr(i, length);
                const char32_t character = decodeUtf8(sequence);
                if (isTerminalControl(character)) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(character));
                    out += escaped;
                } else {
                    out.append(sequence);
                }
                i += length;
            }
            continue;
        }
        appendJsonAscii(c, out);
        ++i;
    }
    return clean;
}

} // namespace

void appendJsonAscii(char c, std::string &out)
{
    switch (c) {
    case '"':
        out += "\\\"";
        break;
    case '\\':
        out += "\\\\";
        break;
    case '\b':
        out += "\\b";
        break;
    case '\f':
        out += "\\f";
        break;
    case '\n':
        out += "\\n";
        break;
    case '\r':
        out += "\\r";
        break;
    case '\t':
        out += "\\t";
        break;
    default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
}

bool appendJsonString(std::string_view bytes, std::string &out)
{
    out += '"';
    const bool clean = appendJsonEscaped(bytes, out);
    out += '"';
    return clean;
}

bool writeJson(const Report &report, bool exactSizes, OutputSink &sink,
               const std::function<void(std::string_view path)> &badName)
{
    const std::vector<ReportEntry> &entries = report.entries();
    ChunkedOutput output(sink);
    std::string &out = output.buffer();

    // The path of the entry being written, raw and escaped, grown by a
    // component on the way down and cut back on the way up; for each depth
    // up to the entry's, where the path ends there and how many of its
    // components so far are not UTF-8.
    struct Level
    {
        std::size_t rawLength;
        std::size_t escapedLength;
        std::size_t badComponents;
    };
    std::vector<Level> levels;
    std::string raw;
    std::string escaped;

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ReportEntry &entry = entries[i];
        levels.resize(entry.depth); // the entry before lay at most one level above
        std::size_t badComponents = 0;
        if (levels.empty()) {
            raw.clear();
            escaped.clear();
        } else {
            raw.resize(levels.back().rawLength);
            escaped.resize(levels.back().escapedLength);
            badComponents = levels.back().badComponents;
            if (!raw.empty() && raw.back() != '/') {
                raw += '/';
                escaped += '/';
            }
        }
        const std::string_view name = report.name(entry);
        raw.append(name);
        if (!appendJsonEscaped(name, escaped))
            ++badComponents;
        levels.push_back({raw.size(), escaped.size(), badComponents});
        if (badComponents > 0 && badName)
            badName(raw);

        out += "{\"name\":\"";
        out += escaped;
        out += "\",\"size\":";
        appendJsonString(sizeText(entry.size, exactSizes), out);
        const std::string_view error = report.error(entry);
        if (!error.empty()) {
            out += ",\"error\":";
            appendJsonString(error, out);
        }
        const bool last = i + 1 == entries.size();
        const std::uint32_t nextDepth = last ? 0 : entries[i + 1].depth;
        if (nextDepth > entry.depth) {
            out += ",\"children\":[";
        } else {
            out += '}';
            for (std::uint32_t depth = entry.depth; depth > nextDepth; --depth)
                out += "]}";
            out += last ? '\n' : ',';
        }
        if (!output.pass())
            return false;
    }
    return output.flush();
}

} // namespace quarn
