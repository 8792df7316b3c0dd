// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A worker's way through the folders it walks itself: down by name, up by a checked "..", reopened from the
// target only when the way is lost.

#pragma once

#include "core/dirtree.h"
#include "walk/ancestorpath.h"

#include <string>
#include <vector>

namespace quarn {

class DescriptorBudget;

// Holds at most two descriptors of the worker's own at any time (the folder
// it is at and its parent, or the next one), plus the one a pooled folder
// brings, which goes back to the budget when the cursor leaves it. Gone
// down by name, it keeps the parent open, so that the next sibling is one
// open away, with no step up. Every folder it arrives at is the one its
// parent listed (device and inode): a folder swapped for a symbolic link
// counts as removed, never as what the link points to.
class FolderCursor
{
public:
    // openFlags: how each folder below the target is opened (folderOpenFlags,
    // or followedFolderOpenFlags for a walk that follows links).
    FolderCursor(int rootFd, DescriptorBudget &budget, int openFlags)
        : m_rootFd(rootFd), m_budget(budget), m_openFlags(openFlags)
    {}
    ~FolderCursor() { release(); }
    FolderCursor(const FolderCursor &) = delete;
    FolderCursor &operator=(const FolderCursor &) = delete;

    // The descriptor of the folder the cursor is at, or -1.
    int fd() const { return m_fd; }
    // The folders from the target down to the one the cursor is at.
    const AncestorPath &path() const { return m_path; }
    // Starts at dir, opened already as pooledFd with a descriptor of the pool.
    void start(const DirNode *dir, int pooledFd);
    // Moves to dir: down from its parent, climbing to the parent with ".."
    // from where the cursor is, or reopened from the target when the way
    // back up is lost. Returns 0, or the errno that kept dir from being
    // opened.
    int moveTo(const DirNode *dir);
    // Closes what the cursor holds; it keeps its place on the path, so a
    // later move to a nearby folder costs only the steps between them.
    void release();

private:
    // Climbs from the folder the cursor is at up to folder, one of its
    // ancestors: to the parent kept, then with "..", checking each step
    // against the folder listed there. False, with nothing held, if a step
    // does not lead where it should.
    bool climbTo(const DirNode *folder);
    // Closes fd (m_fd or m_parentFd), giving it back to the pool if pooled.
    void close(int &fd, bool &pooled);
    int reopen(const DirNode *dir);
    int reopenOnce(const DirNode *dir);

    int m_rootFd;
    DescriptorBudget &m_budget;
    int m_openFlags;
    int m_fd = -1;
    bool m_pooled = false; // m_fd was taken from the pool
    int m_parentFd = -1;   // the parent of the folder at, kept on the way down; -1 if m_fd is
    bool m_parentPooled = false;
    AncestorPath m_path;
    std::string m_scratch;
};

} // namespace quarn
