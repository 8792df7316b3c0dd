// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "jsonwriter.h"

#include "sizetext.h"
#include "utf8.h"

#include <cstdio>

namespace quarn {

bool appendJsonString(std::string_view bytes, std::string &out)
{
    std::string valid;
    valid.reserve(bytes.size());
    bool clean = appendValidUtf8(bytes, valid);
    out += '"';
    for (char c : valid) {
        auto byte = static_cast<unsigned char>(c);
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
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return clean;
}

namespace {

// Iterative pre-order writer: reports may be deep, so no recursion.
void writeNode(const ReportNode &root, bool exactSizes, JsonText &result)
{
    struct Frame
    {
        const ReportNode *node;
        std::size_t nextChild;
    };
    std::vector<Frame> stack;
    std::string &out = result.text;

    auto open = [&](const ReportNode &node) {
        out += "{\"name\":";
        if (!appendJsonString(node.name, out))
            result.badNames.push_back(node.name);
        out += ",\"size\":";
        appendJsonString(sizeText(node.size, exactSizes), out);
        if (!node.error.empty()) {
            out += ",\"error\":";
            appendJsonString(node.error, out);
        }
        if (node.children.empty()) {
            out += '}';
            return false;
        }
        out += ",\"children\":[";
        return true;
    };

    if (open(root))
        stack.push_back({&root, 0});
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.nextChild == frame.node->children.size()) {
            out += "]}";
            stack.pop_back();
            continue;
        }
        if (frame.nextChild > 0)
            out += ',';
        const ReportNode &child = frame.node->children[frame.nextChild++];
        if (open(child))
            stack.push_back({&child, 0});
    }
}

} // namespace

JsonText writeJson(const ReportNode &root, bool exactSizes)
{
    JsonText result;
    writeNode(root, exactSizes, result);
    result.text += '\n';
    return result;
}

} // namespace quarn
