// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dirtree.h"

#include <vector>

namespace quarn {

std::string displayPath(const DirNode *dir, std::string_view name)
{
    std::vector<const DirNode *> chain;
    for (const DirNode *d = dir; d; d = d->parent)
        chain.push_back(d);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += (*it)->name();
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
