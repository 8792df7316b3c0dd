// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/sizetext.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quarn {

namespace {

constexpr int largestUnit = 3; // T

struct Candidate
{
    std::string text;      // number and unit letter
    double multiplier = 1; // bytes per unit of the text's letter
};

// Text of digits / 10^decimals in the unit of the given index. A carry from
// rounding up keeps three significant digits: 10.00 becomes 10.0, 1.000
// becomes 1.00.
Candidate format(std::uint64_t digits, int decimals, int unit)
{
    static const char letters[] = {'K', 'M', 'G', 'T'};
    if (decimals > 0 && digits >= 1000) {
        digits /= 10; // the dropped digit is a zero: 1000 only arises from rounding up
        --decimals;
    }
    std::string number = std::to_string(digits);
    if (decimals > 0) {
        number.insert(0, std::size_t(std::max(0, decimals + 1 - int(number.size()))), '0');
        number.insert(number.size() - std::size_t(decimals), 1, '.');
    }
    return Candidate{number + letters[unit], std::ldexp(1.0, 10 * (unit + 1))};
}

// Bytes that a reader gets back from the text: the number times the unit,
// truncated toward zero.
double readBack(const Candidate &candidate)
{
    return std::trunc(std::strtod(candidate.text.c_str(), nullptr) * candidate.multiplier);
}

} // namespace

std::string sizeText(std::uint64_t bytes, bool exact)
{
    if (exact || bytes < 1024)
        return std::to_string(bytes);

    int unit = 0;
    double value = double(bytes) / 1024.0;
    while (unit < largestUnit && value >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    // From 999.5 of a unit up, three digits of it would need a fourth: the
    // next unit shows it as 0.976 to 1.00. T has no next unit, so there the
    // number grows past three digits, a whole number of T.
    int decimals;
    if (value >= 999.5 && unit < largestUnit) {
        value /= 1024.0;
        ++unit;
        decimals = 3;
    } else {
        decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
    }
    // Of the two numbers of that many decimals around the value, print the
    // one that reads back closer to the count: plain rounding plus the
    // reader's truncation could otherwise miss by more than 0.5% just above 1K.
    auto below = std::uint64_t(std::floor(value * std::pow(10.0, decimals)));
    Candidate low = format(below, decimals, unit);
    Candidate high = format(below + 1, decimals, unit);
    double target = double(bytes);
    return std::fabs(readBack(low) - target) <= std::fabs(readBack(high) - target) ? low.text : high.text;
}

} // namespace quarn
