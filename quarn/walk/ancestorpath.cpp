// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/ancestorpath.h"

namespace quarn {

void AncestorPath::moveTo(const DirNode *dir)
{
    m_below.clear();
    const DirNode *shared = dir;
    while (shared && !holds(shared)) {
        m_below.push_back(shared);
        shared = shared->parent;
    }
    const std::size_t keep = shared ? shared->depth + 1 : 0;
    while (m_path.size() > keep)
        pop();
    for (auto it = m_below.rbegin(); it != m_below.rend(); ++it)
        push(*it);
}

std::size_t AncestorPath::home(std::uint32_t device, std::uint64_t inode) const
{
    const std::uint64_t mixed = (inode ^ (std::uint64_t(device) << 32)) * 0x9E3779B97F4A7C15ull;
    return std::size_t(mixed >> 32) & (m_slots.size() - 1);
}

const DirNode *AncestorPath::find(std::uint32_t device, std::uint64_t inode) const
{
    if (m_slots.empty())
        return nullptr;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = home(device, inode);; slot = (slot + 1) & mask) {
        const std::uint32_t entry = m_slots[slot];
        if (entry == 0)
            return nullptr;
        const DirNode *folder = m_path[entry - 1];
        if (folder->inode == inode && folder->device == device)
            return folder;
    }
}

void AncestorPath::push(const DirNode *dir)
{
    m_path.push_back(dir);
    if (2 * m_path.size() > m_slots.size()) {
        rebuild(m_slots.empty() ? 64 : 2 * m_slots.size());
        return;
    }
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = home(dir->device, dir->inode);
    while (m_slots[slot] != 0)
        slot = (slot + 1) & mask;
    m_slots[slot] = std::uint32_t(m_path.size());
}

void AncestorPath::pop()
{
    const std::uint32_t entry = std::uint32_t(m_path.size());
    const DirNode *dir = m_path.back();
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = home(dir->device, dir->inode);
    while (m_slots[slot] != entry)
        slot = (slot + 1) & mask;
    // Backward-shift deletion: every later entry of the run that may move
    // into the freed slot moves, so no search ever stops at a hole early.
    for (std::size_t next = (slot + 1) & mask; m_slots[next] != 0; next = (next + 1) & mask) {
        const DirNode *moved = m_path[m_slots[next] - 1];
        const std::size_t wanted = home(moved->device, moved->inode);
        // Movable if its home does not lie cyclically within (slot, next].
        if (((next - wanted) & mask) >= ((next - slot) & mask)) {
            m_slots[slot] = m_slots[next];
            slot = next;
        }
    }
    m_slots[slot] = 0;
    m_path.pop_back();
}

void AncestorPath::rebuild(std::size_t slots)
{
    m_slots.assign(slots, 0);
    const std::size_t mask = slots - 1;
    for (std::size_t i = 0; i < m_path.size(); ++i) {
        std::size_t slot = home(m_path[i]->device, m_path[i]->inode);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = std::uint32_t(i + 1);
    }
}

} // namespace quarn
