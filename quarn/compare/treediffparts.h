// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the comparison keeps while the later scan goes on: shared by its units, no part of its interface.

#pragma once

#include "compare/treediff.h"

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quarn {

// An entry whose size changed, or that appeared or is gone.
struct TreeDiff::Change
{
    std::uint64_t oldSize = 0;
    std::uint64_t newSize = 0;
    bool wasThere = true;
    bool isThere = true;
    bool isFile = false;
    std::uint32_t depth = 0;
    // The later folder that is the entry or holds its file; null: the
    // entry is only in the earlier scan, whose folder oldFolder is. A file
    // with a newFolder and an oldFolder is where the earlier scan found
    // that folder.
    const DirNode *newFolder = nullptr;
    std::size_t oldFolder = OldTree::none;
    std::string name; // a file's

    std::uint64_t magnitude() const { return oldSize > newSize ? oldSize - newSize : newSize - oldSize; }
};

struct TreeDiff::Worker
{
    struct Open
    {
        const DirNode *dir;
        std::size_t old;
        std::uint32_t subfolders;   // noted so far
        std::size_t firstFile;      // in files
        std::size_t firstName;      // in names
        std::size_t firstSubfolder; // in subfolderNames
    };
    struct File
    {
        std::size_t nameStart;
        std::uint32_t nameLength;
        std::uint32_t links; // 0: an entry that could not be looked at, whose size is not known
        std::uint32_t device;
        std::uint32_t subfoldersBefore;
        std::uint64_t inode;
        std::uint64_t bytes;
    };
    // A name of a file with several links, placed after the walk.
    struct LinkName
    {
        const DirNode *folder;
        std::uint32_t subfoldersBefore;
        std::uint32_t device;
        std::uint64_t inode;
        std::uint64_t bytes;
        std::uint64_t oldBytes;
        std::size_t replaced; // the earlier folder at this path, or OldTree::none
        bool wasThere;
        std::uint32_t place;
        std::size_t order; // among this worker's
        std::size_t nameStart;
        std::uint32_t nameLength;
        unsigned worker;
    };

    std::vector<Open> open; // the folders being listed, outermost first (several only in a document)
    std::vector<File> files;
    std::vector<std::pair<std::size_t, std::uint32_t>> subfolderNames; // start in names, length
    std::string names;
    std::unordered_map<const DirNode *, std::size_t> resolved; // earlier folders of later ones met lately
    std::vector<const DirNode *> chain;
    std::string buffer;
    std::unordered_map<std::string_view, std::uint64_t> oldFiles;
    std::vector<Change> kept;
    // Earlier files a later folder took the path of, in that folder's parent.
    struct WasFile
    {
        const DirNode *parent;
        std::string name;
        std::uint64_t bytes;
    };
    std::vector<WasFile> wasFiles;
    // Earlier folders a file took the path of, with what the file counts.
    std::vector<std::pair<std::size_t, std::uint64_t>> becameFiles;
    bool cut = false;
    std::uint64_t cutMagnitude = 0;
    std::uint32_t cutDepth = 0;
    std::deque<LinkName> links;
    std::string linkText;
    std::string problem;
};

} // namespace quarn
