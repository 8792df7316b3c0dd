// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/jsonreader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarn {

namespace {

// Writes c as UTF-8; returns how many bytes that took.
std::size_t encodeUtf8(char32_t c, char (&out)[4])
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool JsonReader::refill()
{
    m_consumed += m_end;
    m_at = m_end = 0;
    for (;;) {
        const long got = m_read(m_buffer.data(), m_buffer.size());
        if (got > 0) {
            m_end = std::size_t(got);
            return true;
        }
        if (got == 0)
            return false;
        if (errno != EINTR) {
            char text[256];
            fail(strerror_r(errno, text, sizeof text)); // GNU variant: returns the text
        }
    }
}

void JsonReader::skipSpace()
{
    for (int c = peekRaw(); c == ' ' || c == '\n' || c == '\r' || c == '\t'; c = peekRaw())
        ++m_at;
}

int JsonReader::peek()
{
    skipSpace();
    return peekRaw();
}

void JsonReader::failExpected(const char *what)
{
    if (peekRaw() < 0)
        fail("unexpected end of file");
    fail(std::string("expected ") + what);
}

void JsonReader::expect(char c)
{
    if (peek() != static_cast<unsigned char>(c)) {
        const char quoted[] = {'\'', c, '\'', 0};
        failExpected(quoted);
    }
    ++m_at;
}

bool JsonReader::commaOr(char close)
{
    const int c = peek();
    if (c == ',' || c == static_cast<unsigned char>(close)) {
        ++m_at;
        return c == ',';
    }
    const char what[] = {'\'', ',', '\'', ' ', 'o', 'r', ' ', '\'', close, '\'', 0};
    failExpected(what);
}

void JsonReader::expectEnd()
{
    if (peek() >= 0)
        fail("expected the end of the file");
}

unsigned JsonReader::readHex4()
{
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = peekRaw();
        unsigned digit;
        if (isDigit(c))
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            failExpected("a hexadecimal digit");
        ++m_at;
        value = value * 16 + digit;
    }
    return value;
}

std::uint64_t JsonReader::decodeString(std::string *text, std::size_t keep, std::uint64_t maximum)
{
    if (text)
        text->clear();
    expect('"');
    const std::uint64_t start = offset() - 1;
    std::uint64_t length = 0;
    const auto append = [&](const char *bytes, std::size_t count) {
        if (count > maximum - length)
            failAt(start, "string longer than " + std::to_string(maximum) + " bytes");
        length += count;
        if (text && text->size() < keep)
            text->append(bytes, std::min(count, keep - text->size()));
    };
    for (;;) {
        if (m_at == m_end && !refill())
            fail("unexpected end of file");
        // The bytes that stand for themselves, up to the buffer's end, taken at once.
        const char *const run = m_buffer.data() + m_at;
        std::size_t plain = 0;
        for (const std::size_t left = m_end - m_at; plain < left; ++plain) {
            const auto c = static_cast<unsigned char>(run[plain]);
            if (c == '"' || c == '\\' || c < 0x20)
                break;
        }
        if (plain > 0) {
            append(run, plain);
            m_at += plain;
            continue;
        }
        const int c = get();
        if (c == '"')
            return length;
        if (c != '\\') {
            --m_at;
            fail("control character in a string");
        }
        char decoded[4];
        append(decoded, decodeEscape(decoded));
    }
}

std::size_t JsonReader::decodeEscape(char (&out)[4])
{
    const int escaped = peekRaw();
    ++m_at;
    switch (escaped) {
    case '"':
    case '\\':
    case '/':
        out[0] = char(escaped);
        return 1;
    case 'b':
        out[0] = '\b';
        return 1;
    case 'f':
        out[0] = '\f';
        return 1;
    case 'n':
        out[0] = '\n';
        return 1;
    case 'r':
        out[0] = '\r';
        return 1;
    case 't':
        out[0] = '\t';
        return 1;
    case 'u': {
        char32_t code = readHex4();
        if (code >= 0xD800 && code < 0xDC00 && peekRaw() == '\\') {
            ++m_at;
            if (peekRaw() != 'u')
                failExpected("'u'");
            ++m_at;
            const unsigned low = readHex4();
            if (low < 0xDC00 || low >= 0xE000)
                failAt(offset() - 6, "expected a low surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        return encodeUtf8(code, out);
    }
    default:
        --m_at;
        if (escaped < 0)
            fail("unexpected end of file");
        fail("invalid escape");
    }
}

std::uint64_t JsonReader::readUnsigned()
{
    if (!isDigit(peek()))
        failExpected("a non-negative integer");
    std::uint64_t value = 0;
    for (int c = peekRaw(); isDigit(c); c = peekRaw()) {
        ++m_at;
        const unsigned digit = unsigned(c - '0');
        value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
    }
    const int next = peekRaw();
    if (next == '.' || next == 'e' || next == 'E')
        fail("expected an integer");
    return value;
}

void JsonReader::readLiteral(const char *rest)
{
    for (; *rest; ++rest) {
        if (peekRaw() != static_cast<unsigned char>(*rest))
            failExpected("a value");
        ++m_at;
    }
}

bool JsonReader::readBool()
{
    const int c = peek();
    if (c == 't') {
        readLiteral("true");
        return true;
    }
    if (c == 'f') {
        readLiteral("false");
        return false;
    }
    failExpected("true or false");
}

void JsonReader::skipNumber()
{
    if (peekRaw() == '-')
        ++m_at;
    if (!isDigit(peekRaw()))
        failExpected("a digit");
    if (peekRaw() == '0')
        ++m_at;
    while (isDigit(peekRaw()))
        ++m_at;
    if (peekRaw() == '.') {
        ++m_at;
        if (!isDigit(peekRaw()))
            failExpected("a digit");
        while (isDigit(peekRaw()))
            ++m_at;
    }
    if (peekRaw() == 'e' || peekRaw() == 'E') {
        ++m_at;
        if (peekRaw() == '+' || peekRaw() == '-')
            ++m_at;
        if (!isDigit(peekRaw()))
            failExpected("a digit");
        while (isDigit(peekRaw()))
            ++m_at;
    }
}

void JsonReader::skipValue()
{
    std::vector<char> open; // '}' or ']' for each container entered
    for (;;) {
        // A value.
        const int c = peek();
        if (c == '{' || c == '[') {
            ++m_at;
            const char close = c == '{' ? '}' : ']';
            if (peek() != static_cast<unsigned char>(close)) {
                open.push_back(close);
                if (close == '}') {
                    readString(nullptr);
                    expect(':');
                }
                continue;
            }
            ++m_at;
        } else if (c == '"') {
            readString(nullptr);
        } else if (c == '-' || isDigit(c)) {
            skipNumber();
        } else if (c == 't' || c == 'f') {
            readBool();
        } else if (c == 'n') {
            readLiteral("null");
        } else {
            failExpected("a value");
        }
        // What follows it: the next value of a container, or its end.
        for (;;) {
            if (open.empty())
                return;
            if (commaOr(open.back())) {
                if (open.back() == '}') {
                    readString(nullptr);
                    expect(':');
                }
                break;
            }
            open.pop_back();
        }
    }
}

} // namespace quarn
