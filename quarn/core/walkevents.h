// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What a walk tells those who follow it (the export, the progress line, the report's selection), and a
// fan-out for several of them.

#pragma once

#include "core/dirtree.h"
#include "core/entry.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quarn {

// The walk's calls, in order: walkStarted; then, by each walking thread with
// its own worker index (0 to the threads asked for - 1), one folder at a
// time: folderEntered, its entries (entry, leftOut, unreadable; fileCounted
// for each file counted there), its subfolders as they are met
// (subfolderNoted, and later folderAdded with their nodes, in the same
// order), folderListed; a folder not listed gets folderAdded alone, or with
// kernelFolder. The target folder is noted and added by worker 0 before the
// walk. Then, from the thread that called the walk, linkCounted for the
// files of several links, walkStopped, and treeDone with the tree, each
// folder's size the sum of what it holds; or, for a target that is a file,
// fileTarget alone. Nodes stay alive until treeDone returns.
// A reader of an export (formats/exporttree) tells a document's tree the
// same way as worker 0, but nests: a subfolder is noted, added and entered
// where the document opens it, and listed before its parent's next entry;
// it tells fileCounted where a file counts, a file of several links at its
// first place in the document, and no linkCounted.
// Every call has a default that ignores it.
class WalkEvents
{
public:
    // Why an entry is left out. Cycle: a folder shown inside itself without
    // a mount, left out as an error.
    enum class LeftOut { Pattern, OtherFileSystem, Cycle };

    virtual ~WalkEvents() = default;

    // Whether entry, leftOut and unreadable are wanted, and whether
    // fileCounted, wantsLinkName and linkCounted are: asked once a walk,
    // so that those who follow folders only cost nothing per entry.
    virtual bool wantsEntries() const { return false; }
    virtual bool wantsFiles() const { return false; }
    // Whom the walk tells of each entry, or of each file counted: this
    // listener where it wants them, else null. A fan-out names the one of
    // its listeners that wants them, so that the walk calls it directly.
    virtual WalkEvents *entryListener() { return wantsEntries() ? this : nullptr; }
    virtual WalkEvents *fileListener() { return wantsFiles() ? this : nullptr; }

    virtual void walkStarted() {}
    virtual void folderEntered(unsigned, const DirNode *) {}
    virtual void entry(unsigned, const DirNode *, std::string_view, const EntryInfo &) {}
    virtual void leftOut(unsigned, std::string_view, LeftOut) {}
    virtual void unreadable(unsigned, std::string_view, std::string_view) {}
    // A file counted in the folder listed, with the bytes it adds to the
    // folder's own. The name ends in a NUL: a listener that keeps few files
    // measures it only for those it keeps.
    virtual void fileCounted(unsigned, const DirNode *, const char *, std::uint64_t) {}
    // Where the walk reads, before each file this worker counts, the least
    // a file must count for fileCounted to want it: files that count less
    // are not told, so the many a listener turns away on their size alone
    // cost the walk one comparison. The listener may raise it in
    // fileCounted, which runs on the worker's own thread. Null: every file
    // is wanted.
    virtual const std::uint64_t *fileFloor(unsigned) const { return nullptr; }
    // Whether the name of a file of several links of these bytes in this
    // folder is wanted, should the file count there: such a file counts at
    // its first name in the walk's order, known only after the walk, where
    // linkCounted tells it; a name nobody wants is not kept until then.
    virtual bool wantsLinkName(unsigned, const DirNode *, std::uint64_t) const { return false; }
    // After the walk: a file of several links (every file, where links are
    // followed) counted at this name in folder, with its bytes; only names
    // that wantsLinkName wanted.
    virtual void linkCounted(const DirNode *, std::string_view, std::uint64_t) {}
    // A subfolder of the folder the worker lists, named name, to be counted and walked.
    virtual void subfolderNoted(unsigned, std::string_view, const EntryInfo &) {}
    virtual void folderAdded(unsigned, const DirNode *) {}
    // entries: entries met, left-out ones not included; ownBytes: what the
    // folder and its files count.
    virtual void folderListed(unsigned, const DirNode *, std::uint64_t, std::uint64_t) {}
    virtual void kernelFolder(unsigned, const DirNode *) {} // a kernel file system's mount point
    virtual void walkStopped() {}
    virtual void treeDone(const DirNodeStore &, const FolderErrors &) {}
    // The target, a file: its displayed name, what it counts, and what it
    // points to where it is a symbolic link the walk did not follow (else
    // empty).
    virtual void fileTarget(std::string_view, const EntryInfo &, std::string_view) {}
};

// Passes every call on to each of its listeners that wants it, in the order
// added: the calls of each entry and each file counted only to those that
// want them.
class WalkFanOut final : public WalkEvents
{
public:
    void add(WalkEvents *listener)
    {
        m_listeners.push_back(listener);
        if (WalkEvents *entries = listener->entryListener())
            m_entryListeners.push_back(entries);
        if (WalkEvents *files = listener->fileListener())
            m_fileListeners.push_back(files);
    }
    // The one listener, or this fan-out for several; null for none.
    WalkEvents *events()
    {
        return m_listeners.empty() ? nullptr : m_listeners.size() == 1 ? m_listeners[0] : this;
    }

    bool wantsEntries() const override { return !m_entryListeners.empty(); }
    bool wantsFiles() const override { return !m_fileListeners.empty(); }
    WalkEvents *entryListener() override { return oneOf(m_entryListeners); }
    WalkEvents *fileListener() override { return oneOf(m_fileListeners); }

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
        for (WalkEvents *l : m_entryListeners)
            l->entry(worker, folder, name, info);
    }
    void leftOut(unsigned worker, std::string_view name, LeftOut why) override
    {
        for (WalkEvents *l : m_entryListeners)
            l->leftOut(worker, name, why);
    }
    void unreadable(unsigned worker, std::string_view name, std::string_view reason) override
    {
        for (WalkEvents *l : m_entryListeners)
            l->unreadable(worker, name, reason);
    }
    void fileCounted(unsigned worker, const DirNode *folder, const char *name, std::uint64_t bytes) override
    {
        for (WalkEvents *l : m_fileListeners)
            l->fileCounted(worker, folder, name, bytes);
    }
    bool wantsLinkName(unsigned worker, const DirNode *folder, std::uint64_t bytes) const override
    {
        for (const WalkEvents *l : m_fileListeners)
            if (l->wantsLinkName(worker, folder, bytes))
                return true;
        return false;
    }
    void linkCounted(const DirNode *folder, std::string_view name, std::uint64_t bytes) override
    {
        for (WalkEvents *l : m_fileListeners)
            l->linkCounted(folder, name, bytes);
    }
    void subfolderNoted(unsigned worker, std::string_view name, const EntryInfo &info) override
    {
        for (WalkEvents *l : m_listeners)
            l->subfolderNoted(worker, name, info);
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
    void fileTarget(std::string_view name, const EntryInfo &info, std::string_view linkTarget) override
    {
        for (WalkEvents *l : m_listeners)
            l->fileTarget(name, info, linkTarget);
    }

private:
    // The one of listeners, or this fan-out for several; null for none.
    WalkEvents *oneOf(const std::vector<WalkEvents *> &listeners)
    {
        return listeners.empty() ? nullptr : listeners.size() == 1 ? listeners[0] : this;
    }

    std::vector<WalkEvents *> m_listeners; // not owned
    std::vector<WalkEvents *>
        m_entryListeners; // of m_listeners, or of their fan-outs, those that want entries
    std::vector<WalkEvents *> m_fileListeners; // those that want the files counted
};

} // namespace quarn
