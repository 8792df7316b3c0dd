// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A worker's way through the folders it walks itself: down by name, up by a checked "..", reopened from the
// target only when the way is lost.

#pragma once

#include "dirtree.h"

#include <string>
#include <vector>

namespace quarn {

class DescriptorBudget;

// Holds at most two descriptors of the worker's own at any time (the folder
// it is at and the next one), plus the one a pooled folder brings, which
// goes back to the budget when the cursor leaves it. Every folder it arrives
// at is the one its parent listed (device and inode): a folder swapped for a
// symbolic link counts as removed, never as what the link points to.
class FolderCursor
{
public:
    FolderCursor(int rootFd, DescriptorBudget &budget) : m_rootFd(rootFd), m_budget(budget) {}
    ~FolderCursor() { leave(); }
    FolderCursor(const FolderCursor &) = delete;
    FolderCursor &operator=(const FolderCursor &) = delete;

    // The descriptor of the folder the cursor is at, or -1.
    int fd() const { return m_fd; }
    // Starts at dir, opened already as pooledFd with a descriptor of the pool.
    void start(const DirNode *dir, int pooledFd);
    // Moves to dir: down from its parent, climbing to the parent with ".."
    // from where the cursor is, or reopened from the target when the way
    // back up is lost. Returns 0, or the errno that kept dir from being
    // opened; then the cursor may have stayed at dir's parent.
    int moveTo(const DirNode *dir);
    // Closes what the cursor holds and forgets the way it came.
    void leave();

private:
    // Climbs up m_path to folder with "..", checking each step against the
    // folder listed there. False, with the cursor released, if folder is
    // not on the path or a step does not lead where it should.
    bool climbTo(const DirNode *folder);
    void release();
    int reopen(const DirNode *dir);
    int reopenOnce(const DirNode *dir);

    int m_rootFd;
    DescriptorBudget &m_budget;
    int m_fd = -1;
    bool m_pooled = false;               // m_fd was taken from the pool
    std::vector<const DirNode *> m_path; // from the folder the cursor started at down to where it is
    std::string m_scratch;
};

} // namespace quarn
