// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/dirtree.h"

#include <algorithm>
#include <functional>
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

DirNodeIndex::DirNodeIndex(const DirNodeStore &dirs)
{
    for (std::size_t i = 0; i < dirs.size(); ++i)
        if (i == 0 || &dirs[i] != &dirs[i - 1] + 1)
            m_runs.push_back({&dirs[i], i});
    std::sort(m_runs.begin(), m_runs.end(),
              [](const Run &a, const Run &b) { return std::less<const DirNode *>()(a.first, b.first); });
}

std::size_t DirNodeIndex::of(const DirNode *dir) const
{
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), dir, [](const DirNode *d, const Run &run) {
        return std::less<const DirNode *>()(d, run.first);
    });
    --it;
    return it->index + std::size_t(dir - it->first);
}

} // namespace quarn
