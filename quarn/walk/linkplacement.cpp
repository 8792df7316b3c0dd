// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/linkplacement.h"

#include "core/hardlinkset.h"
#include "core/walkevents.h"
#include "core/walkorder.h"

#include <algorithm>
#include <string_view>

namespace quarn {

namespace {

// Whether a comes before b in the order they are placed in: by file, then as the walk meets them.
bool placedBefore(const LinkNames::Name &a, const LinkNames::Name &b)
{
    if (a.device != b.device || a.inode != b.inode)
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    if (a.place != b.place)
        return a.place < b.place;
    // Names before one folder's place: the deepest folder's first. At one
    // place and depth both lie in one folder, listed by one thread.
    if (a.folder->depth != b.folder->depth)
        return a.folder->depth > b.folder->depth;
    return a.order < b.order;
}

} // namespace

void LinkNames::add(DirNode *folder, std::uint32_t subfoldersBefore, std::uint32_t device,
                    std::uint64_t inode, std::uint64_t bytes, const char *name)
{
    Name entry{inode,  bytes,  folder,           m_text.size(),
               noName, device, subfoldersBefore, std::uint32_t(m_names.size())};
    if (name) {
        const std::string_view text(name);
        entry.textLength = std::uint32_t(text.size());
        m_text.append(text);
    }
    m_names.push_back(entry);
}

void placeLinks(DirNodeStore &dirs, const std::vector<LinkNames *> &names, HardLinkSet *counted,
                WalkEvents *files)
{
    using Cursor = std::pair<LinkNames *, std::size_t>; // a thread's names and the next one left
    // Calls visit with the threads' names in placedBefore order; each thread's must be sorted so.
    const auto merge = [&names](const auto &visit) {
        const auto later = [](const Cursor &a, const Cursor &b) {
            return placedBefore(b.first->m_names[b.second], a.first->m_names[a.second]);
        };
        std::vector<Cursor> next; // a heap
        for (LinkNames *source : names)
            if (!source->m_names.empty())
                next.emplace_back(source, 0);
        std::make_heap(next.begin(), next.end(), later);
        while (!next.empty()) {
            std::pop_heap(next.begin(), next.end(), later);
            LinkNames &source = *next.back().first;
            const LinkNames::Name &name = source.m_names[next.back().second];
            if (++next.back().second < source.m_names.size())
                std::push_heap(next.begin(), next.end(), later);
            else
                next.pop_back();
            if (!visit(source, name))
                return;
        }
    };
    const auto sortEach = [&names] {
        for (LinkNames *source : names)
            std::sort(source->m_names.begin(), source->m_names.end(), placedBefore);
    };

    std::size_t total = 0;
    for (const LinkNames *source : names)
        total += source->m_names.size();
    if (total == 0)
        return; // no file with several links: nothing more is kept of the folders
    // Most files with several links have all their names in one folder,
    // listed in order by one thread, where placedBefore needs no more than
    // the subfolders listed before each name: the walk's order is made only
    // when the names of one file lie in different folders.
    sortEach();
    bool spread = false;
    const LinkNames::Name *previous = nullptr;
    merge([&](LinkNames &, const LinkNames::Name &name) {
        spread = previous && previous->device == name.device && previous->inode == name.inode &&
                 previous->folder != name.folder;
        previous = &name;
        return !spread;
    });
    if (spread) {
        const WalkOrder order(dirs);
        for (LinkNames *source : names)
            for (LinkNames::Name &name : source->m_names)
                name.place = order.placeOf(name.folder, name.place);
        sortEach();
    }

    previous = nullptr;
    merge([&](LinkNames &source, const LinkNames::Name &name) {
        const bool first = !previous || previous->device != name.device || previous->inode != name.inode;
        previous = &name;
        if (!first)
            return true; // another name of a file counted at its first
        if (counted && !counted->insert(dev_t(name.device), ino_t(name.inode)))
            return true; // counted by the walk of an earlier path
        name.folder->totalBytes = addSizes(name.folder->totalBytes, name.bytes);
        if (files && name.textLength != LinkNames::noName)
            files->linkCounted(name.folder,
                               std::string_view(source.m_text.data() + name.textOffset, name.textLength),
                               name.bytes);
        return true;
    });
}

} // namespace quarn
