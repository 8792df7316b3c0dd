// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <unordered_set>

namespace quarn {

// Set of (device, inode) pairs shared by the walking threads of several
// paths, so that what they share counts once. Sharded by inode so threads
// rarely wait on the same lock.
class HardLinkSet
{
public:
    // True if the pair was not in the set before (the first place it is met).
    bool insert(dev_t device, ino_t inode);

private:
    struct Key
    {
        dev_t device;
        ino_t inode;
        bool operator==(const Key &other) const { return device == other.device && inode == other.inode; }
    };
    struct KeyHash
    {
        std::size_t operator()(const Key &key) const
        {
            return std::hash<unsigned long long>()(key.inode * 0x9E3779B97F4A7C15ull ^ key.device);
        }
    };
    struct Shard
    {
        std::mutex lock;
        std::unordered_set<Key, KeyHash> keys;
    };
    static constexpr std::size_t shardCount = 64;
    Shard m_shards[shardCount];
};

} // namespace quarn
