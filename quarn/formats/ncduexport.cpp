// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/ncduexport.h"

#include "core/errorline.h"
#include "core/utf8.h"
#include "formats/jsonwriter.h"
#include "platform/descriptorbudget.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace quarn {

namespace {

// A worker's fragment goes to its temporary file once it holds this much,
// so a folder of a million files needs no more memory than a small one,
// and a worker that met one large folder keeps little of it.
constexpr std::size_t fragmentFlushSize = 64 * 1024;
constexpr std::uint32_t noFolder = UINT32_MAX;
// A worker takes the shared temporary file this much at a time: few
// stretches for a large export, and little left unwritten (sparse) at the
// end of each worker's last.
constexpr std::uint64_t spillStretch = 1024 * 1024;

// The device number as stat reports it, which is what other writers store.
std::uint64_t deviceNumber(std::uint32_t device)
{
    return std::uint64_t(makedev(device >> 20, device & 0xFFFFF));
}

void appendNumber(std::string &out, const char *key, std::uint64_t value)
{
    out += key;
    out += std::to_string(value);
}

// The entry's object without its closing brace.
void appendEntry(std::string &out, std::string_view name, std::uint64_t length, std::uint64_t allocated,
                 std::uint32_t device, bool withDevice)
{
    out += "{\"name\":";
    appendExportString(name, out);
    appendNumber(out, ",\"asize\":", length);
    appendNumber(out, ",\"dsize\":", allocated);
    if (withDevice)
        appendNumber(out, ",\"dev\":", deviceNumber(device));
}

std::string temporaryFolder()
{
    const char *folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// Descriptor of a new temporary file in folder that has no name.
int temporaryFile(const char *folder)
{
    int fd = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    std::string path = std::string(folder) + "/quarn-export.XXXXXX";
    fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(path.c_str());
    return fd;
}

} // namespace

void appendExportString(std::string_view bytes, std::string &out)
{
    out += '"';
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            out += c; // as it is, valid UTF-8 or not: read back as the same bytes
        else
            appendJsonAscii(c, out);
    }
    out += '"';
}

NcduExport::NcduExport(OutputSink &out, unsigned workers) : m_out(out), m_workers(std::max(1u, workers))
{
    if (!descriptorsToSpare(1))
        return;
    m_spillFolder = temporaryFolder();
    if ((m_spill = temporaryFile(m_spillFolder.c_str())) < 0) {
        m_error =
            "cannot make a temporary file in '" + escapedForLog(m_spillFolder) + "': " + errorText(errno);
        m_failed = true;
    }
}

NcduExport::~NcduExport()
{
    if (m_spill >= 0)
        ::close(m_spill);
}

void NcduExport::flush(Worker &worker)
{
    if (worker.fragment.empty() || !worker.error.empty())
        return;
    if (spill(worker, worker.fragment.data(), worker.fragment.size()))
        worker.fragment.clear();
}

// Appends length bytes to the worker's fragments; false with worker.error set.
bool NcduExport::spill(Worker &worker, const char *data, std::size_t length)
{
    if (m_spill < 0) {
        worker.inMemory.append(data, length);
        worker.spillSize += length;
        return true;
    }
    while (length > 0) {
        const std::size_t stretch = std::size_t(worker.spillSize / spillStretch);
        if (stretch == worker.stretches.size())
            worker.stretches.push_back(m_spillEnd.fetch_add(spillStretch, std::memory_order_relaxed));
        const std::uint64_t within = worker.spillSize % spillStretch;
        const std::size_t part = std::size_t(std::min<std::uint64_t>(length, spillStretch - within));
        const ssize_t written = ::pwrite(m_spill, data, part, off_t(worker.stretches[stretch] + within));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            worker.error = "cannot write a temporary file in '" + escapedForLog(m_spillFolder) +
                           "': " + errorText(written < 0 ? errno : ENOSPC);
            return false;
        }
        data += written;
        length -= std::size_t(written);
        worker.spillSize += std::uint64_t(written);
    }
    return true;
}

// As pread, of the worker's fragments from offset on: may read fewer bytes
// than asked for (no more than the stretch holds).
long NcduExport::readSpill(const Worker &worker, char *buffer, std::size_t length, std::uint64_t offset) const
{
    if (m_spill < 0) {
        const std::size_t got = std::size_t(std::min<std::uint64_t>(length, worker.spillSize - offset));
        worker.inMemory.copy(buffer, got, std::size_t(offset));
        return long(got);
    }
    const std::uint64_t within = offset % spillStretch;
    const std::size_t part = std::size_t(std::min<std::uint64_t>(length, spillStretch - within));
    return long(::pread(m_spill, buffer, part, off_t(worker.stretches[offset / spillStretch] + within)));
}

void NcduExport::subfolderNoted(unsigned worker, std::string_view, const EntryInfo &info)
{
    Worker &w = m_workers[worker];
    w.noted.push_back(Record::found(info, fragmentSize(worker)));
}

void NcduExport::folderAdded(unsigned worker, const DirNode *folder)
{
    Worker &w = m_workers[worker];
    Record record = w.noted[w.nextNoted++];
    if (w.nextNoted == w.noted.size()) {
        w.noted.clear();
        w.nextNoted = 0;
    }
    record.dir = folder;
    w.records.push_back(record);
}

void NcduExport::entry(unsigned worker, const DirNode *folder, std::string_view name, const EntryInfo &info)
{
    std::string &out = m_workers[worker].fragment;
    out += ",\n";
    appendEntry(out, name, info.length, info.allocated, info.device, info.device != folder->device);
    if (info.links > 1 || m_everyInode) {
        appendNumber(out, ",\"ino\":", info.inode);
        appendNumber(out, ",\"hlnkc\":true,\"nlink\":", info.links);
    }
    if (!(info.isRegular || info.isDirectory))
        out += ",\"notreg\":true";
    out += '}';
    if (out.size() >= fragmentFlushSize)
        flush(m_workers[worker]);
}

void NcduExport::leftOut(unsigned worker, std::string_view name, LeftOut why)
{
    std::string &out = m_workers[worker].fragment;
    out += ",\n{\"name\":";
    appendExportString(name, out);
    if (why == LeftOut::Cycle)
        out += ",\"excluded\":\"cycle\",\"read_error\":true,\"error\":\"Circular directory structure\"}";
    else
        out += why == LeftOut::Pattern ? ",\"excluded\":\"pattern\"}" : ",\"excluded\":\"otherfs\"}";
    if (out.size() >= fragmentFlushSize)
        flush(m_workers[worker]);
}

void NcduExport::unreadable(unsigned worker, std::string_view name, std::string_view reason)
{
    std::string &out = m_workers[worker].fragment;
    out += ",\n{\"name\":";
    appendExportString(name, out);
    out += ",\"read_error\":true,\"error\":";
    appendExportString(reason, out);
    out += '}';
    if (out.size() >= fragmentFlushSize)
        flush(m_workers[worker]);
}

void NcduExport::folderListed(unsigned worker, const DirNode *folder, std::uint64_t, std::uint64_t)
{
    Worker &w = m_workers[worker];
    flush(w);
    w.records.push_back(Record::listed(folder, w.fragmentStart, w.spillSize - w.fragmentStart));
    w.fragmentStart = w.spillSize;
}

void NcduExport::kernelFolder(unsigned worker, const DirNode *folder)
{
    m_workers[worker].records.push_back(Record::kernel(folder));
}

void NcduExport::header(std::string &out) const
{
    out += "[1,2,{\"progname\":\"quarn\",\"progver\":\"" QUARN_VERSION "\",\"timestamp\":";
    out += std::to_string(m_timestamp ? *m_timestamp : std::uint64_t(std::time(nullptr)));
    out += "},\n";
}

bool NcduExport::writeFileDocument(std::string_view name, const EntryInfo &info)
{
    ChunkedOutput output(m_out);
    std::string &out = output.buffer();
    header(out);
    appendEntry(out, name, info.length, info.allocated, info.device, true);
    if (!(info.isRegular || info.isDirectory))
        out += ",\"notreg\":true";
    out += "}]\n";
    return output.flush();
}

bool NcduExport::writeDocument(const DirNodeStore &dirs, const FolderErrors &errors)
{
    for (const Worker &worker : m_workers)
        if (!worker.error.empty()) {
            m_error = worker.error;
            return false;
        }
    if (dirs.size() >= noFolder) {
        m_error = "too many folders";
        return false;
    }
    // What each folder needs for its object and fragment, by its place in the store.
    struct Folder
    {
        std::uint64_t length = 0;
        std::uint64_t allocated = 0;
        std::uint64_t offset = 0;
        std::uint64_t fragment = 0; // bytes
        std::uint64_t place = 0;    // bytes of the parent's fragment before it
        std::uint32_t worker = 0;
        bool kernel = false;
    };
    const DirNodeIndex index(dirs);
    std::vector<Folder> folders(dirs.size());
    for (std::size_t w = 0; w < m_workers.size(); ++w) {
        for (const Record &record : m_workers[w].records) {
            Folder &folder = folders[index.of(record.dir)];
            if (record.kind == Record::Found) {
                folder.length = record.length();
                folder.allocated = record.allocated();
                folder.place = record.place;
            } else if (record.kind == Record::Listed) {
                folder.offset = record.fragmentOffset();
                folder.fragment = record.fragmentLength();
                folder.worker = std::uint32_t(w);
            } else {
                folder.kernel = true;
            }
        }
        std::vector<Record>().swap(m_workers[w].records);
    }
    // Subfolders as lists, in the order of the store.
    std::vector<std::uint32_t> parent(dirs.size(), noFolder);
    std::vector<std::uint32_t> firstChild(dirs.size(), noFolder);
    std::vector<std::uint32_t> nextSibling(dirs.size(), noFolder);
    for (std::size_t i = dirs.size(); i-- > 1;) {
        parent[i] = std::uint32_t(index.of(dirs[i].parent));
        nextSibling[i] = firstChild[parent[i]];
        firstChild[parent[i]] = std::uint32_t(i);
    }

    ChunkedOutput output(m_out);
    std::string &out = output.buffer();
    // Copies bytes [from, to) of folder's fragment to the output.
    const auto copy = [&](const Folder &folder, std::uint64_t from, std::uint64_t to) {
        to = std::min(to, folder.fragment);
        for (std::uint64_t copied = from; copied < to;) {
            const std::size_t start = out.size();
            const std::size_t want = std::size_t(std::min<std::uint64_t>(to - copied, 64 * 1024));
            out.resize(start + want);
            const long got = readSpill(m_workers[folder.worker], &out[start], want, folder.offset + copied);
            if (got < 0 && errno == EINTR) {
                out.resize(start);
                continue;
            }
            if (got <= 0) {
                m_error = "cannot read a temporary file in '" + escapedForLog(m_spillFolder) +
                          "': " + errorText(got < 0 ? errno : EIO);
                return false;
            }
            out.resize(start + std::size_t(got));
            copied += std::uint64_t(got);
            if (!output.pass())
                return false;
        }
        return true;
    };
    header(out);
    std::uint32_t i = 0;
    for (;;) {
        const DirNode &dir = dirs[i];
        const Folder &folder = folders[i];
        out += '[';
        appendEntry(out, dir.name(), folder.length, folder.allocated, dir.device,
                    !dir.parent || dir.device != dir.parent->device);
        if (const auto error = errors.find(&dir); error != errors.end()) {
            out += ",\"read_error\":true,\"error\":";
            appendExportString(error->second, out);
        }
        if (folder.kernel)
            out += ",\"excluded\":\"kernfs\"";
        out += '}';
        // The fragment up to the next subfolder, or to its end and that of
        // the folders it ends, each of those continued after it.
        std::uint64_t from = 0;
        std::uint32_t next = firstChild[i];
        for (;;) {
            const std::uint64_t to = next != noFolder ? folders[next].place : folders[i].fragment;
            if (!copy(folders[i], from, to))
                return false;
            if (next != noFolder)
                break;
            out += ']';
            if (i == 0) {
                out += "]\n";
                return output.flush();
            }
            from = folders[i].place; // where the parent's fragment goes on
            next = nextSibling[i];
            i = parent[i];
            if (!output.pass())
                return false;
        }
        out += ",\n";
        i = next;
    }
}

} // namespace quarn
