#include "sizetext.h"

#include <cstdio>
#include <cstdlib>

namespace quarn {

namespace {

// Prints value with three significant digits; decides the decimals on the
// rounded text itself so that 9.996 becomes "10.0", not "10.00".
double printThreeDigits(double value, char *text, std::size_t capacity)
{
    double shown = 0;
    for (int decimals = 2; decimals >= 0; --decimals) {
        std::snprintf(text, capacity, "%.*f", decimals, value);
        shown = std::strtod(text, nullptr);
        if ((decimals == 2 && shown >= 10) || (decimals == 1 && shown >= 100))
            continue;
        break;
    }
    return shown;
}

} // namespace

std::string sizeText(std::uint64_t bytes, bool exact)
{
    if (exact || bytes < 1024)
        return std::to_string(bytes);

    static const char units[] = {'K', 'M', 'G', 'T'};
    int unit = 0;
    double value = double(bytes) / 1024.0;
    while (unit < 3 && value >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    char text[64];
    double shown = printThreeDigits(value, text, sizeof text);
    if (shown >= 1024 && unit < 3) { // 1023.7K rounds to 1024K: say 1.00M instead
        value /= 1024.0;
        ++unit;
        printThreeDigits(value, text, sizeof text);
    }
    return std::string(text) + units[unit];
}

} // namespace quarn
