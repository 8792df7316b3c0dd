// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ncduexport.h"

#include "descriptorbudget.h"
#include "jsonwriter.h"
#include "utf8.h"

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

std::string errorText(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer); // GNU variant: returns the text
}

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
void appendEntry(std::string &out, std::string_view name, const NcduExport::Entry &entry, bool device)
{
    out += "{\"name\":";
    appendExportString(name, out);
    appendNumber(out, ",\"asize\":", entry.length);
    appendNumber(out, ",\"dsize\":", entry.allocated);
    if (device)
        appendNumber(out, ",\"dev\":", deviceNumber(entry.device));
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

// Maps folder records back to their places in the store, whose chunks do
// not move but lie anywhere in memory.
class FolderIndex
{
public:
    explicit FolderIndex(const DirNodeStore &dirs)
    {
        for (std::size_t i = 0; i < dirs.size(); ++i)
            if (i == 0 || &dirs[i] != &dirs[i - 1] + 1)
                m_runs.push_back({&dirs[i], i});
        std::sort(m_runs.begin(), m_runs.end(),
                  [](const Run &a, const Run &b) { return std::less<const DirNode *>()(a.first, b.first); });
    }
    std::size_t of(const DirNode *dir) const
    {
        auto it = std::upper_bound(m_runs.begin(), m_runs.end(), dir, [](const DirNode *d, const Run &run) {
            return std::less<const DirNode *>()(d, run.first);
        });
        --it;
        return it->index + std::size_t(dir - it->first);
    }

private:
    struct Run
    {
        const DirNode *first;
        std::size_t index;
    };
    std::vector<Run> m_runs;
};

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

void NcduExport::folderFound(unsigned worker, const DirNode *folder, const Entry &own)
{
    m_workers[worker].records.push_back(Record{folder, own.length, own.allocated, Record::Found});
}

void NcduExport::file(unsigned worker, const DirNode *folder, std::string_view name, const Entry &entry)
{
    std::string &out = m_workers[worker].fragment;
    out += ",\n";
    appendEntry(out, name, entry, entry.device != folder->device);
    if (entry.links > 1) {
        appendNumber(out, ",\"ino\":", entry.inode);
        appendNumber(out, ",\"hlnkc\":true,\"nlink\":", entry.links);
    }
    if (!entry.regular)
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

void NcduExport::folderListed(unsigned worker, const DirNode *folder)
{
    Worker &w = m_workers[worker];
    flush(w);
    w.records.push_back(Record{folder, w.fragmentStart, w.spillSize - w.fragmentStart, Record::Listed});
    w.fragmentStart = w.spillSize;
}

void NcduExport::kernelFolder(unsigned worker, const DirNode *folder)
{
    m_workers[worker].records.push_back(Record{folder, 0, 0, Record::Kernel});
}

void NcduExport::header(std::string &out) const
{
    out += "[1,2,{\"progname\":\"quarn\",\"progver\":\"" QUARN_VERSION "\",\"timestamp\":";
    out += std::to_string(std::uint64_t(std::time(nullptr)));
    out += "},\n";
}

bool NcduExport::writeFileDocument(std::string_view name, const Entry &entry)
{
    ChunkedOutput output(m_out);
    std::string &out = output.buffer();
    header(out);
    appendEntry(out, name, entry, true);
    if (!entry.regular)
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
        std::uint32_t worker = 0;
        bool kernel = false;
    };
    const FolderIndex index(dirs);
    std::vector<Folder> folders(dirs.size());
    for (std::size_t w = 0; w < m_workers.size(); ++w) {
        for (const Record &record : m_workers[w].records) {
            Folder &folder = folders[index.of(record.dir)];
            if (record.kind == Record::Found) {
                folder.length = record.first;
                folder.allocated = record.second;
            } else if (record.kind == Record::Listed) {
                folder.offset = record.first;
                folder.fragment = record.second;
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
    header(out);
    std::uint32_t i = 0;
    for (;;) {
        const DirNode &dir = dirs[i];
        const Folder &folder = folders[i];
        out += '[';
        appendEntry(out, dir.name(), Entry{folder.length, folder.allocated, dir.device, dir.inode, 1, true},
                    !dir.parent || dir.device != dir.parent->device);
        if (const auto error = errors.find(&dir); error != errors.end()) {
            out += ",\"read_error\":true,\"error\":";
            appendExportString(error->second, out);
        }
        if (folder.kernel)
            out += ",\"excluded\":\"kernfs\"";
        out += '}';
        for (std::uint64_t copied = 0; copied < folder.fragment;) {
            const std::size_t start = out.size();
            const std::size_t want =
                std::size_t(std::min<std::uint64_t>(folder.fragment - copied, 64 * 1024));
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
        if (firstChild[i] != noFolder) {
            i = firstChild[i];
            out += ",\n";
            continue;
        }
        // The folder and those it is the last subfolder of end here.
        for (;;) {
            out += ']';
            if (i == 0) {
                out += "]\n";
                return output.flush();
            }
            if (nextSibling[i] != noFolder) {
                i = nextSibling[i];
                out += ",\n";
                break;
            }
            i = parent[i];
        }
        if (!output.pass())
            return false;
    }
}

} // namespace quarn
