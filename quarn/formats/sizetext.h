// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Size text for a byte count: below 1024 the plain integer; otherwise three
// significant digits in K, M, G or T (powers of 1024), e.g. "4.00K",
// "12.3M", "123M"; from 999.5 of a unit up the next unit ("0.992G"), and
// from 999.5T up the whole number of T ("2048T"). Of the two texts around
// the count, the one that reads back (number times unit, truncated) closer.
// With exact set, the plain integer always.
std::string sizeText(std::uint64_t bytes, bool exact = false);

} // namespace quarn
