// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Where a file with several links counts: at its first name in a depth-first walk that reads every folder in
// the order the file system lists it and enters each subfolder at its place among the folder's entries, as du
// counts it. The walking threads meet the names in any order, so they only note them; the placement is made
// once the walk is over, the same at every thread count.

#pragma once

#include "core/dirtree.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quarn {

class HardLinkSet;
class WalkEvents;

// The names of files with several links that one walking thread met, in the order it met them.
class LinkNames
{
public:
    // Notes the name of a file (device, inode) of bytes in folder, met after subfoldersBefore of folder's
    // subfolders were added to the store. name may be null when nobody wants it whatever else is counted
    // (WalkEvents::wantsLinkName): then it is not kept.
    void add(DirNode *folder, std::uint32_t subfoldersBefore, std::uint32_t device, std::uint64_t inode,
             std::uint64_t bytes, const char *name);

    static constexpr std::uint32_t noName = UINT32_MAX; // a textLength: the name was not kept
    // One name as it was met.
    struct Name
    {
        std::uint64_t inode;
        std::uint64_t bytes;
        DirNode *folder;
        std::size_t textOffset;   // in m_text
        std::uint32_t textLength; // noName: not kept
        std::uint32_t device;
        // Subfolders of folder added to the store before the name; once the
        // names of a file are found in several folders, the walk's place of
        // the first folder it enters after the name.
        std::uint32_t place;
        std::uint32_t order; // among the thread's names: a folder's in the order listed
    };
    static_assert(sizeof(Name) == 48, "the walk's memory for each name of a hard-linked file");

private:
    friend void placeLinks(DirNodeStore &, const std::vector<LinkNames *> &, HardLinkSet *, WalkEvents *);

    std::deque<Name> m_names; // grown without copies or a doubled capacity
    std::string m_text;       // the kept names, one after another
};

// After the walk, before the folders' sums: counts each file of the names in its folder at its first name
// (its bytes added to the folder's own, and files told of it with linkCounted where that name was kept);
// its other names count nothing. Where
// counted is set (by the walks of several paths), a file it holds counts nowhere, and the others are added
// to it. Siblings must lie in the store in the order they were listed. Sorts the names, which are of no
// more use afterwards. Throws std::bad_alloc.
void placeLinks(DirNodeStore &dirs, const std::vector<LinkNames *> &names, HardLinkSet *counted,
                WalkEvents *files);

} // namespace quarn
