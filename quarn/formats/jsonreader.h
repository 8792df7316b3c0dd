// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quarn {

// Why a document could not be read, and where: the offset of the byte that
// was wrong (the length read so far when the input ended too soon).
struct JsonError : std::runtime_error
{
    JsonError(std::uint64_t at, const std::string &what) : std::runtime_error(what), offset(at) {}
    std::uint64_t offset;
};

// Reads a JSON document token by token from a stream of bytes, 64 KiB at a
// time, so neither the document nor its nesting is ever held: callers walk
// the structure with loops, and skipValue steps over any value with a stack
// of one byte per level. Strings may hold any bytes from 0x80 up as they
// are (names that are not UTF-8 are written so). Every method throws
// JsonError on input that does not fit.
class JsonReader
{
public:
    // read fills the buffer as read(2) does: bytes read, 0 at the end, -1
    // with errno set on failure.
    using ReadFunction = std::function<long(char *buffer, std::size_t size)>;
    explicit JsonReader(ReadFunction read) : m_read(std::move(read)), m_buffer(64 * 1024) {}

    // Offset of the next byte.
    std::uint64_t offset() const { return m_consumed + m_at; }
    // The next byte after white space, not consumed; -1 at the end.
    int peek();
    // Consumes the next byte after white space, which must be c.
    void expect(char c);
    // Consumes ',' or close (after white space): true for ','.
    bool commaOr(char close);
    // The end of the input, after white space.
    void expectEnd();

    // A string, after white space, decoded into text (null: skipped), of any
    // length unless maximum (bytes) is given: a longer one is an error.
    void readString(std::string *text, std::size_t maximum = SIZE_MAX)
    {
        decodeString(text, SIZE_MAX, maximum);
    }
    // A string of any length, after white space, of which only the first
    // keep bytes go to text. Returns whether text holds all of it: a caller
    // that only recognises a few short values keeps little of a long one.
    bool readStringStart(std::string &text, std::size_t keep)
    {
        return decodeString(&text, keep, UINT64_MAX) == text.size();
    }
    // A non-negative integer, after white space; above 2^64 - 1 saturates there.
    std::uint64_t readUnsigned();
    bool readBool();
    // Steps over one value of any kind.
    void skipValue();

    [[noreturn]] void fail(const std::string &what) const { throw JsonError(offset(), what); }
    [[noreturn]] void failAt(std::uint64_t at, const std::string &what) const { throw JsonError(at, what); }

private:
    int get()
    {
        if (m_at == m_end && !refill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_at++]);
    }
    int peekRaw()
    {
        if (m_at == m_end && !refill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_at]);
    }
    bool refill();
    // Decodes a string, keeps its first keep bytes in text (null: none) and
    // returns its length; longer than maximum bytes is an error.
    std::uint64_t decodeString(std::string *text, std::size_t keep, std::uint64_t maximum);
    // Decodes the escape after a backslash into out; returns its length in bytes.
    std::size_t decodeEscape(char (&out)[4]);
    void skipSpace();
    void readLiteral(const char *rest);
    void skipNumber();
    unsigned readHex4();
    [[noreturn]] void failExpected(const char *what);

    ReadFunction m_read;
    std::vector<char> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_end = 0;
    std::uint64_t m_consumed = 0; // bytes before the buffer's start
};

} // namespace quarn
