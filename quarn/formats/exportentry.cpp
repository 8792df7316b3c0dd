// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/exportentry.h"

#include "core/siblingnames.h"

namespace quarn {

namespace {

// A report keeps names' lengths in 32 bits; any name a file system serves
// is far shorter.
constexpr std::size_t longestName = UINT32_MAX;
// Keys and values only compared with a few short words: what is kept of
// longer ones, which then match none (no more than a short string holds
// without allocating).
constexpr std::size_t keptWord = 15;

} // namespace

void readExportEntry(JsonReader &in, ExportEntry &info)
{
    const std::uint64_t start = in.offset();
    info.named = info.hasDevice = info.hasInode = info.hardLink = false;
    info.readError = info.excluded = info.kernelFolder = false;
    info.otherFileSystem = info.cycle = info.notRegular = false;
    info.asize = info.dsize = info.device = info.inode = info.links = 0;
    info.reason.clear();
    std::string key, word;
    in.expect('{');
    if (in.peek() == '}') {
        in.expect('}');
    } else {
        do {
            if (!in.readStringStart(key, keptWord))
                key.clear(); // longer than any key known
            in.expect(':');
            if (key == "name") {
                in.peek();
                info.nameOffset = in.offset();
                in.readString(&info.name, longestName);
                info.named = true;
            } else if (key == "asize") {
                info.asize = in.readUnsigned();
            } else if (key == "dsize") {
                info.dsize = in.readUnsigned();
            } else if (key == "dev") {
                info.device = in.readUnsigned();
                info.hasDevice = true;
            } else if (key == "ino") {
                info.inode = in.readUnsigned();
                info.hasInode = true;
            } else if (key == "nlink") {
                info.links = in.readUnsigned();
            } else if (key == "hlnkc") {
                info.hardLink = in.readBool();
            } else if (key == "read_error") {
                info.readError = in.readBool();
            } else if (key == "excluded") {
                info.excluded = true;
                const bool whole = in.readStringStart(word, keptWord);
                info.kernelFolder = whole && word == "kernfs";
                info.otherFileSystem = whole && word == "otherfs";
                info.cycle = whole && word == "cycle";
            } else if (key == "notreg" && (in.peek() == 't' || in.peek() == 'f')) {
                info.notRegular = in.readBool();
            } else if (key == "error" && in.peek() == '"') {
                in.readString(&info.reason);
            } else {
                in.skipValue(); // later versions' keys, and those counting does not need
            }
        } while (in.commaOr('}'));
    }
    if (!info.named)
        in.failAt(start, "entry without a name");
}

std::string readExportHeader(JsonReader &in, std::string &decompressor, std::uint64_t *timestamp)
{
    // No JSON document starts so; a gzip file (1f 8b) or an xz one (fd 37 7a) does.
    const int first = in.peek();
    if (first == 0x1f || first == 0xfd) {
        decompressor = first == 0x1f ? "zcat" : "xzcat";
        in.fail("looks compressed");
    }
    in.expect('[');
    const std::uint64_t versionOffset = in.offset();
    const std::uint64_t major = in.readUnsigned();
    if (major != 1)
        in.failAt(versionOffset, "unsupported major version " + std::to_string(major));
    in.expect(',');
    in.readUnsigned(); // every minor version of 1 reads alike
    in.expect(',');

    std::string key, name;
    in.expect('{');
    if (in.peek() == '}') {
        in.expect('}');
        return name;
    }
    do {
        const bool whole = in.readStringStart(key, keptWord);
        const bool progname = whole && key == "progname";
        in.expect(':');
        if (timestamp && whole && key == "timestamp" && in.peek() >= '0' && in.peek() <= '9')
            *timestamp = in.readUnsigned();
        else if (!progname || in.peek() != '"')
            in.skipValue(); // its version and time
        else if (!in.readStringStart(name, keptWord))
            name.clear(); // longer than any name compared with
    } while (in.commaOr('}'));
    return name;
}

void checkRootName(const JsonReader &in, const ExportEntry &info)
{
    if (info.name.empty())
        in.failAt(info.nameOffset, "empty name");
    if (info.name.find('\0') != std::string::npos)
        in.failAt(info.nameOffset, "name holds a NUL byte");
}

void checkEntryName(const JsonReader &in, const ExportEntry &info, SiblingNames &names)
{
    checkRootName(in, info);
    if (info.name == "." || info.name == "..")
        in.failAt(info.nameOffset, "'" + info.name + "' cannot be an entry's name");
    if (info.name.find('/') != std::string::npos)
        in.failAt(info.nameOffset, "name holds a '/'");
    if (!names.insert(info.name))
        in.failAt(info.nameOffset, "name given twice in one folder");
}

} // namespace quarn
