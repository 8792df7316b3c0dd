#pragma once

#include <string>
#include <string_view>

namespace quarn {

// Copies bytes into out, replacing every byte sequence that is not
// well-formed UTF-8 (stray continuation bytes, overlong forms, surrogates,
// code points above U+10FFFF, truncated sequences) by U+FFFD, one per
// offending byte. Returns false if anything was replaced.
bool appendValidUtf8(std::string_view bytes, std::string &out);

// Length of the well-formed UTF-8 sequence at the start of bytes, or 0 when
// the first byte does not start one.
std::size_t validUtf8SequenceLength(std::string_view bytes);

} // namespace quarn
