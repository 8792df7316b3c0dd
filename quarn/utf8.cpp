#include "utf8.h"

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

} // namespace quarn
