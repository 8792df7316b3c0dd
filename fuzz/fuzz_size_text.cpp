// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Any bytes as a size text of the tool's report. The tree window's reader
// must not hit undefined behaviour, and its byte count must equal the one of
// a reference reading written here from the grammar alone: trim white space,
// strip one of K, KB, M, MB, G, GB, T, TB, read the rest as a plain decimal
// number (C locale), multiply, truncate toward zero; a product beyond the
// qint64 range saturates, and a text that reads as no finite number gives 0.
#include <QString>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <optional>
#include <string>
#include <string_view>

// The tree window's reader, reached through the test build of its source.
qint64 parseSizeStringForTests(const QString &sizeStr);

namespace {

// Unicode white space, as both the trimming and the number reading skip it.
bool isWhiteSpace(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

std::u16string_view trimWhiteSpace(std::u16string_view text)
{
    while (!text.empty() && isWhiteSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isWhiteSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// A sign as the number reading takes it: ASCII plus or minus, or U+2212
// MINUS SIGN, which it reads as a minus.
std::optional<char> signAt(std::u16string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return std::nullopt;
    switch (text[pos]) {
    case u'+':
        return '+';
    case u'-':
    case u'\u2212':
        return '-';
    default:
        return std::nullopt;
    }
}

// [sign] (digits [. [digits]] | . digits) [(e|E) [sign] digits] and nothing
// else, rewritten in ASCII; nullopt when the text does not fit that grammar.
// Spellings of infinity and not-a-number are left out on purpose: the reader
// turns them into 0, the same as a text that is no number at all.
std::optional<std::string> asciiNumber(std::u16string_view text)
{
    std::string ascii;
    std::size_t pos = 0;
    const auto takeSign = [&] {
        if (const std::optional<char> sign = signAt(text, pos)) {
            ascii += *sign;
            ++pos;
        }
    };
    const auto takeDigits = [&] {
        const std::size_t start = pos;
        for (; pos < text.size() && isDigit(text[pos]); ++pos)
            ascii += char(text[pos]);
        return pos - start;
    };

    takeSign();
    std::size_t mantissaDigits = takeDigits();
    if (pos < text.size() && text[pos] == u'.') {
        ascii += '.';
        ++pos;
        mantissaDigits += takeDigits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
        ascii += 'e';
        ++pos;
        takeSign();
        if (takeDigits() == 0)
            return std::nullopt;
    }
    if (pos != text.size())
        return std::nullopt;
    return ascii;
}

double readCLocale(const std::string &ascii)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return strtod_l(ascii.c_str(), nullptr, cLocale);
}

qint64 referenceBytes(const QString &text)
{
    std::u16string_view rest =
        trimWhiteSpace({reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())});
    double multiplier = 1.0;
    if (!rest.empty()) {
        const bool twoLetters = rest.size() >= 2 && rest.back() == u'B';
        const std::size_t letterAt = rest.size() - (twoLetters ? 2 : 1);
        int power = 0;
        switch (rest[letterAt]) {
        case u'K':
            power = 10;
            break;
        case u'M':
            power = 20;
            break;
        case u'G':
            power = 30;
            break;
        case u'T':
            power = 40;
            break;
        default:
            break;
        }
        if (power > 0) {
            multiplier = std::ldexp(1.0, power);
            rest = trimWhiteSpace(rest.substr(0, letterAt));
        }
    }

    const std::optional<std::string> ascii = asciiNumber(rest);
    if (!ascii)
        return 0;
    const double value = readCLocale(*ascii);
    if (!std::isfinite(value))
        return 0; // too large for a double: the reader refuses it
    const double bytes = value * multiplier;
    const double limit = std::ldexp(1.0, 63);
    if (bytes >= limit)
        return std::numeric_limits<qint64>::max();
    if (bytes < -limit)
        return std::numeric_limits<qint64>::min();
    return qint64(std::trunc(bytes));
}

void check(const QString &text)
{
    const qint64 actual = parseSizeStringForTests(text);
    const qint64 expected = referenceBytes(text);
    if (actual != expected) {
        std::fprintf(stderr, "size text \"%s\": reader gave %lld, reference %lld\n",
                     text.toUtf8().constData(), static_cast<long long>(actual),
                     static_cast<long long>(expected));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // As the report carries it (UTF-8, invalid bytes replaced), and as raw
    // UTF-16 units, which reaches lone surrogates and every BMP character.
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}
