// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The comparison of two scans as the command line asks for it.

#include "cli/diffcommand.h"

#include "cli/atomicoutput.h"
#include "cli/command.h"
#include "cli/endingsignals.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "compare/diffwriter.h"
#include "compare/oldtree.h"
#include "compare/treediff.h"
#include "core/utf8.h"
#include "core/walkevents.h"
#include "formats/exporttree.h"
#include "formats/ncduexport.h"
#include "walk/walker.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarn {

namespace {

// The comparison's way out: standard output, or what it was before -o made it the export.
class DescriptorSink final : public OutputSink
{
public:
    explicit DescriptorSink(int fd) : m_fd(fd) {}
    bool write(std::string_view chunk) override
    {
        m_error = writeAll(m_fd, chunk);
        return m_error == 0;
    }
    int error() const { return m_error; }

private:
    int m_fd;
    int m_error = 0;
};

// Reads the export file ('-': standard input) into tree, telling events.
// False, said on stderr, when it cannot be read or is no export.
bool readTree(const std::string &file, Measure measure, WalkEvents *events, ExportTree &tree)
{
    const int fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        writeAll(STDERR_FILENO,
                 "quarn: cannot read '" + escapedForLog(file) + "': " + std::strerror(errno) + "\n");
        return false;
    }
    tree = readExportTree([fd](char *buffer, std::size_t size) { return long(::read(fd, buffer, size)); },
                          measure, events);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (!tree.read) {
        reportBadExport(file, tree.problem, tree.decompressor);
        return false;
    }
    if (tree.unreadable > 0)
        reportRecordedErrors(file, tree.unreadable, tree.firstUnreadable, tree.firstReason);
    return true;
}

// Writes the comparison to fd; returns status, or 1 if it could not be written.
int writeDiff(const TreeDiff &diff, const Options &options, int fd, int status)
{
    if (!diff.problem().empty()) {
        writeAll(STDERR_FILENO, "quarn: " + diff.problem() + "\n");
        status = 1;
    }
    DescriptorSink out(fd);
    const bool written = options.json ? writeDiffJson(diff.report(), out)
                                      : writeDiffText(diff.report(), options.exactSizes || options.inodes,
                                                      textColour(options), out);
    if (written)
        return status;
    writeAll(STDERR_FILENO, std::string("quarn: write error: ") + std::strerror(out.error()) + "\n");
    return 1;
}

} // namespace

int runDiff(const Options &options, ScanSettings &settings, Progress *progress,
            EndingSignalsThread &endingSignals)
{
    const Measure measure = measureOf(options);
    const std::size_t top = options.summarize ? 1 : options.top;
    OldTree old;
    ExportTree oldTree;
    if (!readTree(*options.diff, measure, &old, oldTree))
        return 2;
    int status = oldTree.unreadable > 0 ? 1 : 0;

    if (options.input) {
        TreeDiff diff(old, 1, top, options.maxDepth);
        ExportTree newTree;
        if (!readTree(*options.input, measure, &diff, newTree))
            return 2;
        return writeDiff(diff, options, STDOUT_FILENO, std::max(status, newTree.unreadable > 0 ? 1 : 0));
    }

    // By default the folder the earlier scan walked, as its export names it.
    const std::string path = !options.paths.empty() ? options.paths.front()
                             : oldTree.store        ? std::string(oldTree.store->root().name())
                                                    : oldTree.fileName;
    TreeDiff diff(old, settings.walk.workers(), top, options.maxDepth);
    if (settings.walk.followLinks)
        diff.placeEveryFile();
    if (options.output) {
        // -o makes standard output the export: the comparison goes where it went before.
        const int reportFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (reportFd < 0) {
            writeAll(STDERR_FILENO, std::string("quarn: write error: ") + std::strerror(errno) + "\n");
            return 1;
        }
        const int exported = exportScan(path, options, settings, progress, endingSignals, &diff);
        if (diff.done())
            status = writeDiff(diff, options, reportFd, std::max(status, exported));
        else
            status = std::max(exported, 1);
        ::close(reportFd);
        return status;
    }
    if (!accessible(path))
        return 2;
    WalkFanOut consumers;
    consumers.add(&diff);
    if (progress)
        consumers.add(progress);
    const ScanStatus walked = scan(path, settings, consumers.events());
    if (walked == ScanStatus::TargetUnreadable)
        return 2;
    return writeDiff(diff, options, STDOUT_FILENO, std::max(status, walked == ScanStatus::Complete ? 0 : 1));
}

int copyExport(const Options &options, EndingSignalsThread &endingSignals)
{
    AtomicOutput file; // with -o -, standard output as it is
    if (*options.output != "-") {
        const std::string problem = file.open(*options.output);
        if (!problem.empty()) {
            writeAll(STDERR_FILENO, "quarn: " + problem + "\n");
            return 2;
        }
    }
    DescriptorSink out(STDOUT_FILENO);
    NcduExport exporter(out, 1);
    if (exporter.failed()) {
        writeAll(STDERR_FILENO, "quarn: " + exporter.error() + "\n");
        return 1;
    }
    std::uint64_t timestamp = 0;
    exporter.keepTimestamp(&timestamp);
    NestedListings listings(exporter);
    const std::string &input = *options.input;
    const int fd = input == "-" ? STDIN_FILENO : ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        writeAll(STDERR_FILENO,
                 "quarn: cannot read '" + escapedForLog(input) + "': " + std::strerror(errno) + "\n");
        return 2;
    }
    const ExportTree tree =
        readExportTree([fd](char *buffer, std::size_t size) { return long(::read(fd, buffer, size)); },
                       Measure::Allocated, &listings, &timestamp);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (!tree.read) {
        reportBadExport(input, tree.problem, tree.decompressor);
        return 2;
    }
    if (exporter.failed()) {
        if (!exporter.error().empty())
            writeAll(STDERR_FILENO, "quarn: " + exporter.error() + "\n");
        else
            writeAll(STDERR_FILENO, "quarn: cannot write '" +
                                        escapedForLog(file.file().empty() ? "-" : file.file()) +
                                        "': " + std::strerror(out.error()) + "\n");
        return 1;
    }
    if (tree.unreadable > 0)
        reportRecordedErrors(input, tree.unreadable, tree.firstUnreadable, tree.firstReason);
    // The commit holds the signals off in this thread only: no other may take them.
    endingSignals.stop();
    const std::string problem = file.commit();
    if (!problem.empty()) {
        writeAll(STDERR_FILENO, "quarn: " + problem + "\n");
        return 1;
    }
    return tree.unreadable > 0 ? 1 : 0;
}

} // namespace quarn
