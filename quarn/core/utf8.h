// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
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

// The code point of a sequence that validUtf8SequenceLength accepted whole.
char32_t decodeUtf8(std::string_view sequence);

// Whether a terminal may act on the character instead of showing it: C0 and
// C1 controls and DEL (cursor moves, escape sequences, CSI) and the
// bidirectional embeddings, overrides and isolates (reordering what follows).
bool isTerminalControl(char32_t c);

// Bytes made safe for a line on a terminal or in a log: well-formed UTF-8
// stays as it is, except terminal controls and the backslash; those and
// every byte that is not UTF-8 are written as \xHH, one per byte, so the
// text can neither forge a line nor be mistaken for another name.
std::string escapedForLog(std::string_view bytes);

} // namespace quarn
