// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/hardlinkset.h"

namespace quarn {

bool HardLinkSet::insert(dev_t device, ino_t inode)
{
    Shard &shard = m_shards[(inode ^ (inode >> 7)) % shardCount];
    std::lock_guard<std::mutex> guard(shard.lock);
    return shard.keys.insert(Key{device, inode}).second;
}

} // namespace quarn
