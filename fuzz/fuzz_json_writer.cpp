// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A report made from the fuzzer's bytes (names and errors as any bytes, sizes
// as any 64-bit counts, any shape of tree) written by the scanner's JSON
// writer. Qt's JSON parser must accept the output, and every entry must come
// back in order and at its depth, its name the full path (components joined
// by one "/") with its well-formed UTF-8 parts intact and each other byte as
// one U+FFFD, the size as a text (the plain integer when exact), keys only
// where they belong, and the paths with bad bytes listed in output order.
#include "formats/jsonwriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Qt's parser refuses documents nested deeper than it allows, and each level
// of the report nests an object and an array; stay well inside that.
constexpr int kMaxDepth = 200;
constexpr int kMaxNodes = 2000;

[[noreturn]] void fail(const char *what, const std::string &detail = {})
{
    std::fprintf(stderr, "json writer: %s %s\n", what, detail.c_str());
    std::abort();
}

void require(bool condition, const char *what, const std::string &detail = {})
{
    if (!condition)
        fail(what, detail);
}

// Length of the well-formed UTF-8 sequence at the start of bytes, or 0,
// decided by value: the lead byte gives the length, each continuation byte
// adds six bits, and the code point must need exactly that many bytes, lie
// outside the surrogates and not pass U+10FFFF.
std::size_t wellFormedLength(std::string_view bytes)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length;
    char32_t codePoint;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// The text the reader should see: well-formed parts kept, every other byte one U+FFFD.
std::string expectedText(std::string_view bytes, bool *clean = nullptr)
{
    std::string text;
    bool allWellFormed = true;
    while (!bytes.empty()) {
        const std::size_t length = wellFormedLength(bytes);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            allWellFormed = false;
            bytes.remove_prefix(1);
        } else {
            text.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    if (clean)
        *clean = allWellFormed;
    return text;
}

struct Entry
{
    std::uint32_t depth;
    std::string name;
    std::uint64_t size;
    std::string error;
};

// Entries in pre-order: each at depth 1 up to one below the one before.
std::vector<Entry> makeEntries(FuzzedDataProvider &input)
{
    std::vector<Entry> entries;
    std::uint32_t depth = 0;
    do {
        Entry entry;
        entry.depth = depth;
        entry.name = input.ConsumeRandomLengthString(64);
        entry.size = input.ConsumeIntegral<std::uint64_t>();
        if (input.ConsumeBool())
            entry.error = input.ConsumeRandomLengthString(32);
        entries.push_back(std::move(entry));
        depth = input.ConsumeIntegralInRange<std::uint32_t>(1, std::min<std::uint32_t>(depth + 1, kMaxDepth));
    } while (entries.size() < std::size_t(kMaxNodes) && input.remaining_bytes() > 0);
    return entries;
}

// Checks object and everything below it against entries from next on, in
// pre-order; parentPath is the raw path of the entry above.
void checkNode(const QJsonObject &object, const std::vector<Entry> &entries, std::size_t &next,
               const std::string &parentPath, bool exactSizes, std::vector<std::string> &badPaths)
{
    require(next < entries.size(), "more entries than written");
    const Entry &entry = entries[next++];
    std::string path = parentPath;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += entry.name;
    bool clean = true;
    const std::string name = expectedText(path, &clean);
    if (!clean)
        badPaths.push_back(path);
    require(object.value(QLatin1String("name")).toString() == QString::fromStdString(name), "name differs",
            name);

    const QJsonValue size = object.value(QLatin1String("size"));
    require(size.isString() && !size.toString().isEmpty(), "size is no text");
    if (exactSizes)
        require(size.toString() == QString::number(entry.size), "exact size differs",
                size.toString().toStdString());

    require(object.contains(QLatin1String("error")) == !entry.error.empty(), "error key misplaced");
    if (!entry.error.empty())
        require(object.value(QLatin1String("error")).toString() ==
                    QString::fromStdString(expectedText(entry.error)),
                "error differs", entry.error);

    const bool hasChildren = next < entries.size() && entries[next].depth > entry.depth;
    require(object.contains(QLatin1String("children")) == hasChildren, "children key misplaced");
    const QJsonArray children = object.value(QLatin1String("children")).toArray();
    for (const QJsonValue child : children) {
        require(child.isObject(), "child is no object");
        require(next < entries.size() && entries[next].depth == entry.depth + 1, "child at the wrong depth");
        checkNode(child.toObject(), entries, next, path, exactSizes, badPaths);
    }
    require(next == entries.size() || entries[next].depth <= entry.depth, "children missing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool exactSizes = input.ConsumeBool();
    const std::vector<Entry> entries = makeEntries(input);
    quarn::Report report;
    for (const Entry &entry : entries)
        report.add(entry.depth, entry.name, entry.size, entry.error);

    quarn::StringSink json;
    std::vector<std::string> writtenBadPaths;
    require(quarn::writeJson(report, exactSizes, json,
                             [&](std::string_view path) { writtenBadPaths.emplace_back(path); }),
            "writing into a string failed");
    require(!json.text.empty() && json.text.back() == '\n', "output does not end in a newline");
    bool clean = false;
    expectedText(json.text, &clean);
    require(clean, "output is not UTF-8");
    // JSON allows no raw control character anywhere in this compact output
    // but the final newline; Qt's parser lets them pass inside strings, other
    // readers refuse the whole document.
    require(std::none_of(json.text.begin(), json.text.end() - 1,
                         [](char c) { return static_cast<unsigned char>(c) < 0x20; }),
            "raw control character in output");

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json.text), &error);
    require(error.error == QJsonParseError::NoError, "Qt refuses the output:",
            error.errorString().toStdString() + " at " + std::to_string(error.offset));
    require(document.isObject(), "output is no object");

    std::size_t next = 0;
    std::vector<std::string> badPaths;
    checkNode(document.object(), entries, next, std::string(), exactSizes, badPaths);
    require(next == entries.size(), "entries missing");
    require(badPaths == writtenBadPaths, "paths with bad bytes differ");
    return 0;
}
