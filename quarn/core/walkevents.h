// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What a walk tells those who follow it (the export, the progress line), and a fan-out for several of them.

#pragma once

#include "core/dirtree.h"
#include "core/entry.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quarn {

// The walk's calls, in order: walkStarted; then, by each walking thread with
// its own worker index (0 to the threads asked for - 1), one folder at a
// time: folderEntered, its entries (entry, leftOut, unreadable), its
// subfolders as they are met (subfolderNoted, and later folderAdded with
// their nodes, in the same order), folderListed; a folder not listed gets
// folderAdded alone, or with kernelFolder. The target folder is noted and
// added by worker 0 before the walk. Then walkStopped, and treeDone with
// the tree whose sizes are still each folder's own; or, for a target that
// is a file, fileTarget alone. Nodes stay alive until treeDone returns.
// A reader of an export (formats/exporttree) tells a document's tree the
// same way as worker 0, but nests: a subfolder is noted, added and entered
// where the document opens it, and listed before its parent's next entry.
// Every call has a default that ignores it.
class WalkEvents
{
public:
    // Why an entry is left out. Cycle: a folder shown inside itself without
    // a mount, left out as an error.
    enum class LeftOut { Pattern, OtherFileSystem, Cycle };

    virtual ~WalkEvents() = default;

    // Whether entry, leftOut and unreadable are wanted: asked once a walk,
    // so that those who follow folders only cost nothing per entry.
    virtual bool wantsEntries() const { return false; }

    virtual void walkStarted() {}
    virtual void folderEntered(unsigned, const DirNode *) {}
    virtual void entry(unsigned, const DirNode *, std::string_view, const EntryInfo &) {}
    virtual void leftOut(unsigned, std::string_view, LeftOut) {}
    virtual void unreadable(unsigned, std::string_view, std::string_view) {}
    // A subfolder of the folder the worker lists, to be counted and walked.
    virtual void subfolderNoted(unsigned, const EntryInfo &) {}
    virtual void folderAdded(unsigned, const DirNode *) {}
    // entries: entries met, left-out ones not included; ownBytes: what the
    // folder and its files count.
    virtual void folderListed(unsigned, const DirNode *, std::uint64_t, std::uint64_t) {}
    virtual void kernelFolder(unsigned, const DirNode *) {} // a kernel file system's mount point
    virtual void walkStopped() {}
    virtual void treeDone(const DirNodeStore &, const FolderErrors &) {}
    virtual void fileTarget(std::string_view, const EntryInfo &) {}
};

// Passes every call on to each of its listeners, in the order added.
class WalkFanOut final : public WalkEvents
{
public:
    void add(WalkEvents *listener) { m_listeners.push_back(listener); }
    // The one listener, or this fan-out for several; null for none.
    WalkEvents *events()
    {
        return m_listeners.empty() ? nullptr : m_listeners.size() == 1 ? m_listeners[0] : this;
    }

    bool wantsEntries() const override
    {
        for (WalkEvents *l : m_listeners)
            if (l->wantsEntries())
                return true;
        return false;
    }
    void walkStarted() override
    {
        for (WalkEvents *l : m_listeners)
            l->walkStarted();
    }
    void folderEntered(unsigned worker, const DirNode *folder) override
    {
        for (WalkEvents *l : m_listeners)
            l->folderEntered(worker, folder);
    }
    void entry(unsigned worker, const DirNode *folder, std::string_view name, const EntryInfo &info) override
    {
        for (WalkEvents *l : m_listeners)
            l->entry(worker, folder, name, info);
    }
    void leftOut(unsigned worker, std::string_view name, LeftOut why) override
    {
        for (WalkEvents *l : m_listeners)
            l->leftOut(worker, name, why);
    }
    void unreadable(unsigned worker, std::string_view name, std::string_view reason) override
    {
        for (WalkEvents *l : m_listeners)
            l->unreadable(worker, name, reason);
    }
    void subfolderNoted(unsigned worker, const EntryInfo &info) override
    {
        for (WalkEvents *l : m_listeners)
            l->subfolderNoted(worker, info);
    }
    void folderAdded(unsigned worker, const DirNode *folder) override
    {
        for (WalkEvents *l : m_listeners)
            l->folderAdded(worker, folder);
    }
    void folderListed(unsigned worker, const DirNode *folder, std::uint64_t entries,
                      std::uint64_t ownBytes) override
    {
        for (WalkEvents *l : m_listeners)
            l->folderListed(worker, folder, entries, ownBytes);
    }
    void kernelFolder(unsigned worker, const DirNode *folder) override
    {
        for (WalkEvents *l : m_listeners)
            l->kernelFolder(worker, folder);
    }
    void walkStopped() override
    {
        for (WalkEvents *l : m_listeners)
            l->walkStopped();
    }
    void treeDone(const DirNodeStore &dirs, const FolderErrors &errors) override
    {
        for (WalkEvents *l : m_listeners)
            l->treeDone(dirs, errors);
    }
    void fileTarget(std::string_view name, const EntryInfo &info) override
    {
        for (WalkEvents *l : m_listeners)
            l->fileTarget(name, info);
    }

private:
    std::vector<WalkEvents *> m_listeners; // not owned
};

} // namespace quarn
