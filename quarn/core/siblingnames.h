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
// in one buffer, looked through while there are few, and then an
// open-addressing table of their places, 8 to 16 bytes a name besides its
// bytes, whatever the number of names.
class SiblingNames
{
public:
    // Adds name; false if it was there already. The names of one folder
    // hold less than 1 TiB.
    bool insert(std::string_view name);

private:
    // A used slot: the name's place in m_bytes, plus 1, in the low 40 bits,
    // and the hash's top 24 bits above them, so that most names that differ
    // are told apart without reading them; 0: a free slot.
    using Slot = std::uint64_t;
    static constexpr unsigned placeBits = 40;
    static constexpr Slot placeMask = (Slot(1) << placeBits) - 1;

    // The name at place in m_bytes, and where the next one starts.
    std::string_view nameAt(std::size_t place, std::size_t *next = nullptr) const;
    bool findInList(std::string_view name) const;
    void placeInTable(Slot slot, std::uint64_t hash);
    // A table of twice as many slots (at least 16), every name placed again.
    void grow();

    std::string m_bytes;
    std::vector<Slot> m_slots; // none while the names are few; then a power of two, at most half used
    std::size_t m_count = 0;
};

} // namespace quarn
