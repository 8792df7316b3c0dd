// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "jsonreader.h"

#include <cerrno>
#include <cstring>

namespace quarn {

namespace {

void appendUtf8(char32_t c, std::string &out)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
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

void JsonReader::readString(std::string *text, std::size_t maximum)
{
    // Skipped strings are not kept, so any length is fine.
    std::string discarded;
    if (!text) {
        text = &discarded;
    }
    text->clear();
    expect('"');
    const std::uint64_t start = offset() - 1;
    for (;;) {
        const int c = get();
        if (c < 0)
            fail("unexpected end of file");
        if (c == '"')
            return;
        if (text == &discarded)
            text->clear();
        else if (text->size() >= maximum)
            failAt(start, "string longer than " + std::to_string(maximum) + " bytes");
        if (c < 0x20) {
            --m_at;
            fail("control character in a string");
        }
        if (c != '\\') {
            *text += char(c);
            continue;
        }
        const int escaped = peekRaw();
        ++m_at;
        switch (escaped) {
        case '"':
        case '\\':
        case '/':
            *text += char(escaped);
            break;
        case 'b':
            *text += '\b';
            break;
        case 'f':
            *text += '\f';
            break;
        case 'n':
            *text += '\n';
            break;
        case 'r':
            *text += '\r';
            break;
        case 't':
            *text += '\t';
            break;
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
            appendUtf8(code, *text);
            break;
        }
        default:
            --m_at;
            if (escaped < 0)
                fail("unexpected end of file");
            fail("invalid escape");
        }
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
                    readString(nullptr, 0);
                    expect(':');
                }
                continue;
            }
            ++m_at;
        } else if (c == '"') {
            readString(nullptr, 0);
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
                    readString(nullptr, 0);
                    expect(':');
                }
                break;
            }
            open.pop_back();
        }
    }
}

} // namespace quarn
