// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Reads one folder's entries: its files counted and told to those who want them, its subfolders recorded
// and handed on.

#pragma once

#include "core/dirtree.h"
#include "walk/exclusion.h"
#include "walk/folderqueue.h"
#include "walk/linkplacement.h"

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
    WalkEvents *entryEvents; // whom to tell of each entry; null: nobody
    WalkEvents *fileEvents;  // whom to tell of each file counted; null: nobody
};

// One per walking thread, with the buffers it reuses for every folder.
class Lister
{
public:
    Lister(const ListerContext &context, unsigned workerIndex);

    // Lists dir, the end of path, through fd: its files counted in dir and
    // told to fileEvents (those with several links only noted in
    // linkNames, to be placed after the walk), its subfolders added to the
    // store after it, in the order listed, and pushed to found; those that
    // could be opened with a descriptor of the pool hold it, and those that
    // could not be opened are reported. In a large folder they are handed
    // on while the listing goes on, every foundBatch of them, so that what
    // is kept of them stays small. A subfolder repeating a folder of path
    // is left out, as du leaves it out: silently where a mount shows it, as
    // a cycle otherwise.
    void list(DirNode *dir, int fd, const AncestorPath &path, FolderQueue &found);

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
        DirNode *node; // its record, once added to the store
    };

    // Reads every entry of dir through fd: files counted in dir, subfolders
    // noted in m_found and handed on by the batch.
    void listEntries(DirNode *dir, int fd, const AncestorPath &path, FolderQueue &found);
    // Notes the subfolder name of dir in m_found, with whether it is a
    // mount root, unless it repeats a folder of path.
    void noteSubfolder(const DirNode *dir, const char *name, const EntryInfo &info, const AncestorPath &path);
    // Opens m_found's folders, adds them to the store below dir and pushes
    // them to found, then forgets them.
    void handOnFound(DirNode *dir, int fd, FolderQueue &found);
    // Opens m_found's folders through their parent's fd while the pool has
    // descriptors to spare; the rest stay with this worker.
    void openSubfolders(int fd);
    // Adds m_found's folders to the store below dir.
    void addSubfolders(DirNode *dir);

    ListerContext m_context;
    unsigned m_index; // the worker's index in the events
    // What a file must count for fileEvents to be told of it; read before each file.
    const std::uint64_t *m_fileFloor;
    std::unique_ptr<char[]> m_buffer;
    std::string m_nameArena;
    std::vector<FoundDir> m_found;
    std::uint32_t m_subfoldersNoted = 0; // of the folder being listed, handed on or in m_found
    std::string m_nameScratch;
    FolderFilter m_filter;
};

} // namespace quarn
