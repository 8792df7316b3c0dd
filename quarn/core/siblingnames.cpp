// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/siblingnames.h"

#include "core/dirtree.h"

#include <algorithm>
#include <functional>

namespace quarn {

namespace {

// Names looked through one by one before the table is made: most folders
// hold no more, and then cost no table at all.
constexpr std::size_t listedNames = 8;

std::uint64_t hashOf(std::string_view name)
{
    return std::uint64_t(std::hash<std::string_view>()(name));
}

} // namespace

std::string_view SiblingNames::nameAt(std::size_t place, std::size_t *next) const
{
    std::size_t length;
    const char *at = readNameLength(m_bytes.data() + place, length);
    const std::size_t start = std::size_t(at - m_bytes.data());
    if (next)
        *next = start + length;
    return std::string_view(m_bytes).substr(start, length);
}

bool SiblingNames::findInList(std::string_view name) const
{
    for (std::size_t place = 0; place < m_bytes.size();)
        if (nameAt(place, &place) == name)
            return true;
    return false;
}

void SiblingNames::placeInTable(Slot slot, std::uint64_t hash)
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = std::size_t(hash) & mask;
    while (m_slots[i] != 0)
        i = (i + 1) & mask;
    m_slots[i] = slot;
}

bool SiblingNames::insert(std::string_view name)
{
    const std::uint64_t hash = hashOf(name);
    const Slot tag = hash & ~placeMask;
    if (m_slots.empty()) {
        if (findInList(name))
            return false;
    } else {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = std::size_t(hash) & mask; m_slots[i] != 0; i = (i + 1) & mask)
            if ((m_slots[i] & ~placeMask) == tag && nameAt(std::size_t((m_slots[i] & placeMask) - 1)) == name)
                return false;
    }
    const Slot slot = tag | (m_bytes.size() + 1);
    unsigned char prefix[nameLengthBytes];
    m_bytes.append(reinterpret_cast<const char *>(prefix), writeNameLength(name.size(), prefix));
    m_bytes.append(name);
    ++m_count;
    if (!m_slots.empty())
        placeInTable(slot, hash);
    if (m_count >= listedNames && 2 * m_count >= m_slots.size())
        grow();
    return true;
}

void SiblingNames::grow()
{
    std::vector<Slot>(std::max<std::size_t>(16, 2 * m_slots.size())).swap(m_slots);
    for (std::size_t place = 0; place < m_bytes.size();) {
        const std::size_t start = place;
        const std::uint64_t hash = hashOf(nameAt(place, &place));
        placeInTable((hash & ~placeMask) | (start + 1), hash);
    }
}

} // namespace quarn
