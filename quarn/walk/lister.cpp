// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/lister.h"

#include "core/folderstore.h"
#include "core/hardlinkset.h"
#include "core/walkevents.h"
#include "platform/descriptorbudget.h"
#include "platform/entryinfo.h"
#include "walk/ancestorpath.h"
#include "walk/linkplacement.h"
#include "walk/walker.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace quarn {

namespace {

constexpr std::size_t direntBufferSize = 128 * 1024; // bytes per getdents64 call
// Subfolders noted before they are opened, recorded and handed on in the
// middle of a listing: the hand-off shares what it is given in runs of as
// many, so others start on a large folder's subfolders at once.
constexpr std::size_t foundBatch = FolderQueue::shareRun;
// The floor of a listener that wants every file counted.
constexpr std::uint64_t everyFile = 0;

} // namespace

Lister::Lister(const ListerContext &context, unsigned workerIndex)
    : m_context(context), m_index(workerIndex), m_fileFloor(&everyFile), m_buffer(new char[direntBufferSize])
{
    if (const std::uint64_t *floor =
            context.fileEvents ? context.fileEvents->fileFloor(workerIndex) : nullptr)
        m_fileFloor = floor;
}

void Lister::list(DirNode *dir, int fd, const AncestorPath &path, FolderQueue &found)
{
    listEntries(dir, fd, path, found);
    handOnFound(dir, fd, found);
}

void Lister::handOnFound(DirNode *dir, int fd, FolderQueue &found)
{
    if (m_found.empty())
        return; // a leaf folder: the store's lock is left to listers with subfolders to add
    openSubfolders(fd);
    addSubfolders(dir);
    // Outside the store's lock: handing on may share them with other workers.
    for (const FoundDir &sub : m_found) {
        if (sub.openError)
            m_context.store.fail(sub.node, displayPath(sub.node), sub.openError);
        else
            found.push(WorkItem{sub.node, sub.fd, sub.mountRoot});
    }
    m_found.clear();
    m_nameArena.clear();
}

void Lister::listEntries(DirNode *dir, int fd, const AncestorPath &path, FolderQueue &found)
{
    const ScanSettings &settings = m_context.settings;
    const std::uint32_t rootDevice = m_context.store.root().device;
    WalkEvents *const events = m_context.events;
    WalkEvents *const entryEvents = m_context.entryEvents;
    WalkEvents *const fileEvents = m_context.fileEvents;
    const std::uint64_t *const fileFloor = m_fileFloor;
    m_nameArena.clear();
    m_found.clear();
    m_subfoldersNoted = 0;
    m_filter.enter(settings.walk.exclusion, dir, fd);
    if (events)
        events->folderEntered(m_index, dir);
    const bool noteEveryFile = settings.shared.counted && settings.shared.noteEveryFile;
    std::uint64_t entries = 0;
    std::uint64_t ownBytes = dir->totalBytes;
    char *buffer = m_buffer.get();
    for (;;) {
        long got = ::syscall(SYS_getdents64, fd, buffer, direntBufferSize);
        if (got < 0) {
            int error = errno;
            // A directory removed while (or before) it is read has no more
            // entries: not an error, as for du.
            if (error != ENOENT)
                m_context.store.fail(dir, displayPath(dir), error);
            break;
        }
        if (got == 0)
            break;
        for (long offset = 0; offset < got;) {
            auto *entry = reinterpret_cast<LinuxDirent64 *>(buffer + offset);
            offset += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            if (m_filter.skips(name)) {
                if (entryEvents)
                    entryEvents->leftOut(m_index, name, WalkEvents::LeftOut::Pattern);
                continue;
            }
            ++entries;
            found.offer();
            EntryInfo info;
            if (!statEntry(fd, name, 0, settings.walk.measure, info, settings.walk.followLinks)) {
                int error = errno;
                m_context.store.fail(dir, displayPath(dir, name), error);
                if (entryEvents)
                    entryEvents->unreadable(m_index, name, errorText(error));
                continue;
            }
            // -x leaves out every entry of another file system, files
            // mounted over files included.
            if (settings.walk.oneFileSystem && info.device != rootDevice) {
                if (entryEvents)
                    entryEvents->leftOut(m_index, name, WalkEvents::LeftOut::OtherFileSystem);
                continue;
            }
            if (info.isDirectory) {
                noteSubfolder(dir, name, info, path);
                if (m_found.size() >= foundBatch)
                    handOnFound(dir, fd, found);
                continue;
            }
            if (info.links > 1 || noteEveryFile) {
                // A file with several links counts, and is shown, only at
                // its first name in the walk's order, known after the walk;
                // so does every file when links are followed, as any may be
                // met again through one. The export keeps every name: its
                // readers count the file once by its inode.
                if (info.links > 1 || settings.walk.followLinks) {
                    const bool keepName = fileEvents && fileEvents->wantsLinkName(m_index, dir, info.bytes);
                    linkNames.add(dir, m_subfoldersNoted, info.device, info.inode, info.bytes,
                                  keepName ? name : nullptr);
                    if (entryEvents)
                        entryEvents->entry(m_index, dir, name, info);
                    continue;
                }
                // A file of one link another path may hold (or be).
                if (!settings.shared.counted->insert(dev_t(info.device), ino_t(info.inode))) {
                    if (entryEvents)
                        entryEvents->entry(m_index, dir, name, info);
                    continue;
                }
            }
            ownBytes = addSizes(ownBytes, info.bytes);
            if (fileEvents && info.bytes >= *fileFloor)
                fileEvents->fileCounted(m_index, dir, name, info.bytes);
            if (entryEvents)
                entryEvents->entry(m_index, dir, name, info);
        }
    }
    dir->totalBytes = ownBytes;
    if (events)
        events->folderListed(m_index, dir, entries, ownBytes);
}

void Lister::noteSubfolder(const DirNode *dir, const char *name, const EntryInfo &info,
                           const AncestorPath &path)
{
    const bool mountRoot = info.mountRootKnown ? info.mountRoot : info.device != dir->device;
    if (const DirNode *repeated = path.find(info.device, info.inode)) {
        // Shown inside itself: by a mount, where a mount root lies between,
        // or by a followed link (as du -L counts it), it counts nothing,
        // silently; otherwise the file system is broken.
        if (!m_context.settings.walk.followLinks && !mountRoot &&
            !m_context.store.mountRootBetween(dir, repeated)) {
            m_context.store.failCycle(displayPath(dir, name));
            if (m_context.entryEvents)
                m_context.entryEvents->leftOut(m_index, name, WalkEvents::LeftOut::Cycle);
        }
        return;
    }
    // Counted already by the walk of an earlier path, or of this one
    // elsewhere: left out, as du leaves it out.
    if (m_context.settings.shared.counted &&
        !m_context.settings.shared.counted->insert(dev_t(info.device), ino_t(info.inode)))
        return;
    const std::size_t length = std::strlen(name);
    if (m_context.events)
        m_context.events->subfolderNoted(m_index, std::string_view(name, length), info);
    m_found.push_back(
        FoundDir{m_nameArena.size(), length, info.device, info.inode, info.bytes, -1, 0, mountRoot, nullptr});
    m_nameArena.append(name, length);
    ++m_subfoldersNoted;
}

void Lister::openSubfolders(int fd)
{
    for (FoundDir &sub : m_found) {
        if (!m_context.budget.take())
            continue;
        m_nameScratch.assign(m_nameArena, sub.nameOffset, sub.nameLength);
        sub.fd = ::openat(fd, m_nameScratch.c_str(),
                          m_context.settings.walk.followLinks ? followedFolderOpenFlags : folderOpenFlags);
        if (sub.fd < 0) {
            m_context.budget.give();
            // Out of descriptors after all: opened by this worker instead.
            if (!isOutOfDescriptors(errno))
                sub.openError = errno;
        }
    }
}

void Lister::addSubfolders(DirNode *dir)
{
    FolderStore &store = m_context.store;
    std::lock_guard<std::mutex> guard(store.growthLock());
    for (FoundDir &sub : m_found) {
        DirNode &child = store.addChild(dir, m_nameArena.data() + sub.nameOffset, sub.nameLength);
        child.device = sub.device;
        child.inode = sub.inode;
        child.totalBytes = sub.bytes;
        sub.node = &child;
        if (m_context.events)
            m_context.events->folderAdded(m_index, &child);
        if (sub.mountRoot && !sub.openError)
            store.addMountRoot(&child);
    }
}

} // namespace quarn
