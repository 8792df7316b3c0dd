// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/walkorder.h"

namespace quarn {

WalkOrder::WalkOrder(const DirNodeStore &dirs) : m_index(dirs)
{
    const std::size_t count = dirs.size();
    std::vector<std::uint32_t> parent(count, 0);
    m_end.assign(count, 1);
    m_childStart.assign(count + 1, 0);
    for (std::size_t i = 1; i < count; ++i) {
        parent[i] = std::uint32_t(m_index.of(dirs[i].parent));
        ++m_childStart[parent[i] + 1];
    }
    for (std::size_t i = count; i-- > 1;)
        m_end[parent[i]] += m_end[i]; // the folders of each subtree
    for (std::size_t i = 0; i < count; ++i)
        m_childStart[i + 1] += m_childStart[i];
    // The children of each folder, in the store's order; each one's rank in the walk. m_end[i] holds
    // the subtree's count until i is ranked, then the rank its next subfolder gets, which is the
    // subtree's end once all are ranked.
    m_children.resize(count ? count - 1 : 0);
    std::vector<std::uint32_t> filled(m_childStart.begin(), m_childStart.end() - 1);
    m_rank.assign(count, 0);
    if (count)
        m_end[0] = 1;
    for (std::size_t i = 1; i < count; ++i) {
        m_children[filled[parent[i]]++] = std::uint32_t(i);
        m_rank[i] = m_end[parent[i]];
        m_end[parent[i]] += m_end[i];
        m_end[i] = m_rank[i] + 1;
    }
}

} // namespace quarn
