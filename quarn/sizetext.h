#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Size text for a byte count: below 1024 the plain integer; otherwise three
// significant digits in the largest of K, M, G, T (powers of 1024) that keeps
// the value at least 1, e.g. "4.00K", "12.3M", "123M". With exact set, the
// plain integer always.
std::string sizeText(std::uint64_t bytes, bool exact = false);

} // namespace quarn
