// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "siblingnames.h"

#include "dirtree.h"

#include <algorithm>
#include <functional>

namespace quarn {

namespace {

// Below this, clear() keeps the memory for the next folder at that depth.
constexpr std::size_t keptSlots = 1024;
constexpr std::size_t keptBytes = 64 * 1024;

std::uint64_t hashOf(std::string_view name)
{
    return std::uint64_t(std::hash<std::string_view>()(name));
}

} // namespace

std::string_view SiblingNames::nameAt(Slot slot) const
{
    const std::size_t place = std::size_t((slot & ((Slot(1) << placeBits) - 1)) - 1);
    // The length as DirNode::name() reads it: 7-bit groups, lowest first.
    const auto *at = reinterpret_cast<const unsigned char *>(m_bytes.data() + place);
    std::size_t length = 0;
    for (unsigned shift = 0;; shift += 7) {
        const unsigned char group = *at++;
        length |= std::size_t(group & 0x7F) << shift;
        if (!(group & 0x80))
            break;
    }
    return std::string_view(reinterpret_cast<const char *>(at), length);
}

bool SiblingNames::insert(std::string_view name)
{
    if (2 * (m_count + 1) > m_slots.size())
        grow();
    const std::uint64_t hash = hashOf(name);
    const Slot tag = (hash >> placeBits) << placeBits;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = homeOf(hash);; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot == 0) {
            slot = tag | (m_bytes.size() + 1);
            unsigned char prefix[nameLengthBytes];
            m_bytes.append(reinterpret_cast<const char *>(prefix), writeNameLength(name.size(), prefix));
            m_bytes.append(name);
            ++m_count;
            return true;
        }
        if ((slot & ~((Slot(1) << placeBits) - 1)) == tag && nameAt(slot) == name)
            return false;
    }
}

// Twice the slots; each name's hash is taken again for its new home.
void SiblingNames::grow()
{
    std::vector<Slot> slots(std::max<std::size_t>(16, 2 * m_slots.size()));
    slots.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot slot : slots) {
        if (slot == 0)
            continue;
        std::size_t i = homeOf(hashOf(nameAt(slot)));
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

void SiblingNames::clear()
{
    if (m_slots.size() > keptSlots || m_bytes.capacity() > keptBytes) {
        std::vector<Slot>().swap(m_slots);
        std::string().swap(m_bytes);
    } else {
        std::fill(m_slots.begin(), m_slots.end(), Slot(0));
        m_bytes.clear();
    }
    m_count = 0;
}

} // namespace quarn
