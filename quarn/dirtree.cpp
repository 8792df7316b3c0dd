// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dirtree.h"

#include <vector>

namespace quarn {

bool ranksBefore(const EntryRef &a, const EntryRef &b)
{
    if (a.size != b.size)
        return a.size > b.size;
    if (a.depth != b.depth)
        return a.depth < b.depth;
    if (a.parent == b.parent)
        return a.name < b.name;
    // Same depth, different parents: the paths first differ where the two
    // chains of ancestors meet; compare the components just below that.
    const DirNode *x = a.parent;
    const DirNode *y = b.parent;
    while (x->parent != y->parent) {
        x = x->parent;
        y = y->parent;
    }
    return x->name < y->name;
}

std::string displayPath(const DirNode *dir, std::string_view name)
{
    std::vector<const DirNode *> chain;
    for (const DirNode *d = dir; d; d = d->parent)
        chain.push_back(d);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += (*it)->name;
    }
    if (!name.empty()) {
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += name;
    }
    return path;
}

std::string displayPath(const DirNode *dir)
{
    return displayPath(dir, {});
}

} // namespace quarn
