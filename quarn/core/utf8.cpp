// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/utf8.h"

#include <cstdio>

namespace quarn {

std::size_t validUtf8SequenceLength(std::string_view bytes)
{
    if (bytes.empty())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char secondLow = 0x80, secondHigh = 0xBF; // narrowed to rule out overlongs and surrogates
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondLow = 0xA0;
        else if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondLow = 0x90;
        else if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    if (byte(1) < secondLow || byte(1) > secondHigh)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

bool appendValidUtf8(std::string_view bytes, std::string &out)
{
    static const char replacement[] = "\xEF\xBF\xBD";
    bool clean = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t length = validUtf8SequenceLength(bytes.substr(i));
        if (length > 0) {
            out.append(bytes.data() + i, length);
            i += length;
            continue;
        }
        clean = false;
        out.append(replacement);
        ++i;
    }
    return clean;
}

char32_t decodeUtf8(std::string_view sequence)
{
    const auto byte = [&](std::size_t i) { return char32_t(static_cast<unsigned char>(sequence[i])); };
    switch (sequence.size()) {
    case 1:
        return byte(0);
    case 2:
        return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3:
        return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default:
        return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
    }
}

bool isTerminalControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

std::string escapedForLog(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t length = validUtf8SequenceLength(bytes.substr(i));
        const std::string_view sequence = bytes.substr(i, length ? length : 1);
        if (length > 0 && sequence != "\\" && !isTerminalControl(decodeUtf8(sequence))) {
            text.append(sequence);
        } else {
            for (unsigned char c : sequence) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                text += hex;
            }
        }
        i += sequence.size();
    }
    return text;
}

} // namespace quarn
