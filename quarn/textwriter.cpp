// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "textwriter.h"

#include "sizetext.h"
#include "utf8.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quarn {

namespace {

constexpr int barWidth = 20; // characters

// The name with U+FFFD for each byte that is not UTF-8 and '?' for each
// character a terminal would act on instead of showing.
std::string printableName(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t length = validUtf8SequenceLength(bytes.substr(i));
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const std::string_view sequence = bytes.substr(i, length);
        if (isTerminalControl(decodeUtf8(sequence)))
            text += '?';
        else
            text.append(sequence);
        i += length;
    }
    return text;
}

std::string lastComponent(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || path.size() == 1)
        return path;
    return path.substr(slash + 1);
}

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

struct Line
{
    const ReportNode *node;
    int depth;
};

} // namespace

std::string writeText(const ReportNode &root, bool exactSizes, bool colour)
{
    // Pre-order, children already largest first; iterative for deep reports.
    std::vector<Line> lines;
    std::vector<Line> stack{{&root, 0}};
    while (!stack.empty()) {
        Line line = stack.back();
        stack.pop_back();
        lines.push_back(line);
        const auto &children = line.node->children;
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back({&*it, line.depth + 1});
    }

    std::size_t sizeWidth = 0;
    std::vector<std::string> sizes;
    for (const Line &line : lines) {
        sizes.push_back(sizeText(line.node->size, exactSizes));
        sizeWidth = std::max(sizeWidth, sizes.back().size());
    }

    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ReportNode &node = *lines[i].node;
        double share = root.size ? double(node.size) / double(root.size) : 0.0;
        char percent[16];
        std::snprintf(percent, sizeof percent, "%5.1f%%", share * 100.0);
        out.append(sizeWidth - sizes[i].size(), ' ');
        out += sizes[i];
        out += ' ';
        out += percent;
        out += ' ';
        out += colour ? "\033[32m" + bar(share) + "\033[0m" : bar(share);
        out += ' ';
        out.append(std::size_t(lines[i].depth) * 2, ' ');
        out += printableName(lines[i].depth == 0 ? node.name : lastComponent(node.name));
        if (!node.error.empty())
            out += "  [" + printableName(node.error) + "]";
        out += '\n';
    }
    return out;
}

} // namespace quarn
