// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Reads one folder's entries: its files counted and offered to the top files, its subfolders recorded and
// handed on.

#pragma once

#include "core/dirtree.h"
#include "select/selection.h"
#include "walk/exclusion.h"
#include "walk/linkplacement.h"
#include "walk/scheduler.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class AncestorPath;
class DescriptorBudget;
class FolderStore;
class WalkEvents;
struct EntryInfo;
struct ScanSettings;

// What every lister shares.
struct ListerContext
{
    const ScanSettings &settings;
    DescriptorBudget &budget;
    FolderStore &store;
    WalkEvents *events;      // null: nobody follows the walk
    WalkEvents *entryEvents; // events, or null where nobody wants each entry
};

// One per walking thread, with the buffers it reuses for every folder.
class Lister
{
public:
    Lister(const ListerContext &context, unsigned workerIndex);

    // Lists dir, the end of path, through fd: its files counted in dir and
    // offered to topFiles (those with several links only noted in
    // linkNames, to be placed after the walk), its subfolders added to the
    // store after it, in the order listed;
    // those that could be opened with a descriptor of the pool go to
    // worker.ready, the rest to local, and those that could not be opened
    // are reported. In a large folder they are handed on while the listing
    // goes on, every foundBatch of them, and worker.ready is shared then:
    // other workers start on them at once, and what is kept for them stays
    // small. A subfolder repeating a folder of path is left out, as du
    // leaves it out: silently where a mount shows it, as a cycle otherwise.
    void list(DirNode *dir, int fd, const AncestorPath &path, Scheduler::Worker &worker,
              std::vector<WorkItem> &local);

    TopFiles topFiles;
    LinkNames linkNames;

private:
    // A subdirectory found while listing one directory; its name lives in
    // nameArena so listing allocates nothing per entry.
    struct FoundDir
    {
        std::size_t nameOffset;
        std::size_t nameLength;
        std::uint32_t device;
        std::uint64_t inode;
        std::uint64_t bytes;
        int fd;
        int openError;
        bool mountRoot;
    };

    // Reads every entry of dir through fd: files counted in dir and offered
    // to the top files, subfolders noted in m_found and handed on by the batch.
    void listEntries(DirNode *dir, int fd, const AncestorPath &path, Scheduler::Worker &worker,
                     std::vector<WorkItem> &local);
    // Notes the subfolder name of dir in m_found, with whether it is a
    // mount root, unless it repeats a folder of path.
    void noteSubfolder(const DirNode *dir, const char *name, const EntryInfo &info, const AncestorPath &path);
    // Opens m_found's folders and adds them to the store below dir, then
    // forgets them.
    void handOnFound(DirNode *dir, int fd, std::vector<WorkItem> &ready, std::vector<WorkItem> &local);
    // Opens m_found's folders through their parent's fd while the pool has
    // descriptors to spare; the rest stay with this worker.
    void openSubfolders(int fd);
    // Adds m_found's folders to the store below dir and hands them on.
    void queueSubfolders(DirNode *dir, std::vector<WorkItem> &ready, std::vector<WorkItem> &local);

    ListerContext m_context;
    unsigned m_index; // the worker's index in the events
    std::unique_ptr<char[]> m_buffer;
    std::string m_nameArena;
    std::vector<FoundDir> m_found;
    std::uint32_t m_subfoldersNoted = 0; // of the folder being listed, handed on or in m_found
    std::string m_nameScratch;
    FolderFilter m_filter;
};

} // namespace quarn
