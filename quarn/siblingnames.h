// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// The names of one folder's entries met so far, to find a name given twice
// in one folder in constant time: the names' bytes, each after its length,
// in one buffer, and an open-addressing table of their places, 8 to 16
// bytes a name besides its bytes, whatever the number of names.
class SiblingNames
{
public:
    // Adds name; false if it was there already. The names of one folder
    // hold less than 1 TiB.
    bool insert(std::string_view name);
    // Forgets every name; the memory of a large folder is given back.
    void clear();

private:
    // A used slot: the name's place in m_bytes, plus 1, in the low 40 bits,
    // and the hash's top 24 bits above them, so that most names that differ
    // are told apart without reading them; 0: a free slot.
    using Slot = std::uint64_t;
    static constexpr unsigned placeBits = 40;

    std::string_view nameAt(Slot slot) const;
    std::size_t homeOf(std::uint64_t hash) const { return std::size_t(hash) & (m_slots.size() - 1); }
    void grow();

    std::string m_bytes;
    std::vector<Slot> m_slots; // a power of two of them, at most half used
    std::size_t m_count = 0;
};

} // namespace quarn
