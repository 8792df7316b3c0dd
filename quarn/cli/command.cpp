// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What a parsed command line does: which command runs, who follows the walk, and the exit status.

#include "cli/command.h"
#include "cli/endingsignals.h"

#include "cli/atomicoutput.h"
#include "cli/diffcommand.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/reports.h"
#include "core/dirtree.h"
#include "core/hardlinkset.h"
#include "core/utf8.h"
#include "formats/ncduexport.h"
#include "formats/ncduimport.h"
#include "platform/descriptorbudget.h"
#include "select/reportselection.h"
#include "walk/exclusion.h"
#include "walk/walker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

int quarn::writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written > 0) {
            text.remove_prefix(std::size_t(written));
            continue;
        }
        if (written == 0)
            return EIO; // no progress and no reason given: retrying could spin forever
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR)
            return errno;
    }
    return 0;
}

namespace {

using quarn::Reports;
using quarn::reportWriteError;
using quarn::ScanResult;
using quarn::StdoutSink;
using quarn::writeAll;

// Writes text on stdout; on failure says why on stderr. Returns whether it
// was written whole.
bool writeOutput(std::string_view text)
{
    int error = writeAll(STDOUT_FILENO, text);
    if (error == 0)
        return true;
    reportWriteError(error);
    return false;
}

// True if one of paths is not a folder (or cannot be looked at): a file
// that the walk of another path may meet again.
bool namesAFile(const std::vector<std::string> &paths)
{
    struct stat info;
    return std::any_of(paths.begin(), paths.end(), [&](const std::string &path) {
        return ::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
    });
}

// The entries the report names, the target included, as -n and -s choose.
std::size_t reportedEntries(const quarn::Options &options)
{
    return options.summarize ? 1 : options.top;
}

} // namespace

quarn::Measure quarn::measureOf(const Options &options)
{
    return options.inodes         ? quarn::Measure::Entries
           : options.apparentSize ? quarn::Measure::Apparent
                                  : quarn::Measure::Allocated;
}

namespace {

// The report options -n, -s and -d make.
quarn::ReportOptions reportOptions(const quarn::Options &options)
{
    quarn::ReportOptions report;
    report.top = reportedEntries(options);
    report.maxDepth = options.maxDepth;
    return report;
}

// quarn -f FILE: the export read into the result its walk would give.
// False, with nothing on stdout, for a file that cannot be read or is not
// such an export.
bool readExport(const quarn::Options &options, ScanResult &result)
{
    const std::string &file = *options.input;
    const int fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        writeAll(STDERR_FILENO,
                 "quarn: cannot read '" + quarn::escapedForLog(file) + "': " + std::strerror(errno) + "\n");
        return false;
    }
    quarn::ImportSettings settings;
    settings.report = reportOptions(options);
    settings.measure = measureOf(options);
    quarn::ImportResult imported = quarn::importExport(
        [fd](char *buffer, std::size_t size) { return long(::read(fd, buffer, size)); }, settings);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (!imported.read) {
        quarn::reportBadExport(file, imported.problem, imported.decompressor);
        return false;
    }
    // What the walk said of what it could not read, in one line.
    if (imported.unreadable > 0)
        quarn::reportRecordedErrors(file, imported.unreadable, imported.firstUnreadable,
                                    imported.firstReason);
    result.status = imported.unreadable > 0 ? quarn::ScanStatus::Incomplete : quarn::ScanStatus::Complete;
    result.report = std::move(imported.report);
    return true;
}

// quarn PATH: the walk of PATH and its report, chosen by a selection that
// follows the walk beside the progress line (null: none is shown).
ScanResult scanReport(const std::string &path, const quarn::ScanSettings &settings,
                      const quarn::ReportOptions &report, quarn::Progress *progress)
{
    quarn::ReportSelection selection(report, settings.walk.workers());
    quarn::WalkFanOut listeners;
    listeners.add(&selection);
    if (progress)
        listeners.add(progress);
    ScanResult result;
    result.status = quarn::scan(path, settings, listeners.events());
    result.report = selection.takeReport();
    return result;
}

} // namespace

bool quarn::accessible(const std::string &path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0)
        return true;
    writeAll(STDERR_FILENO,
             "quarn: cannot access '" + quarn::escapedForLog(path) + "': " + std::strerror(errno) + "\n");
    return false;
}

// quarn -o FILE PATH: the walk of PATH written as an export to FILE. What
// can fail before the walk (FILE, the temporary files) is tried before it.
// FILE is replaced only by a whole export: on any failure, or a signal, it
// stays as it was. progress: null where none is shown.
int quarn::exportScan(const std::string &path, const Options &options, ScanSettings &settings,
                      Progress *progress, EndingSignalsThread &endingSignals, WalkEvents *also)
{
    if (!accessible(path))
        return 2;
    quarn::AtomicOutput file; // with -o -, standard output as it is
    if (*options.output != "-") {
        const std::string problem = file.open(*options.output);
        if (!problem.empty()) {
            writeAll(STDERR_FILENO, "quarn: " + problem + "\n");
            return 2;
        }
    }
    StdoutSink out;
    quarn::NcduExport exporter(out, settings.walk.workers());
    if (settings.walk.followLinks)
        exporter.writeEveryInode();
    if (exporter.failed()) {
        writeAll(STDERR_FILENO, "quarn: " + exporter.error() + "\n");
        return 1;
    }
    quarn::WalkFanOut consumers;
    consumers.add(&exporter);
    if (also)
        consumers.add(also);
    if (progress)
        consumers.add(progress);
    const quarn::ScanStatus status = quarn::scan(path, settings, consumers.events());
    if (status == quarn::ScanStatus::TargetUnreadable)
        return 2;
    if (exporter.failed()) {
        if (!exporter.error().empty())
            writeAll(STDERR_FILENO, "quarn: " + exporter.error() + "\n");
        else if (file.file().empty())
            reportWriteError(out.error());
        else
            writeAll(STDERR_FILENO, "quarn: cannot write '" + quarn::escapedForLog(file.file()) +
                                        "': " + std::strerror(out.error()) + "\n");
        return 1;
    }
    // The commit holds the signals off in this thread only: no other may take them.
    endingSignals.stop();
    const std::string problem = file.commit();
    if (!problem.empty()) {
        writeAll(STDERR_FILENO, "quarn: " + problem + "\n");
        return 1;
    }
    return status == quarn::ScanStatus::Complete ? 0 : 1;
}

int quarn::runCommand(const Options &options)
{
    if (options.action == quarn::Options::Help)
        return writeOutput(quarn::usageText()) ? 0 : 1;
    if (options.action == quarn::Options::Version)
        return writeOutput(quarn::versionText()) ? 0 : 1;
    Reports reports(options);
    if (options.input && !options.diff && !options.output) {
        ScanResult result;
        if (!readExport(options, result))
            return 2;
        reports.add(result);
        return reports.finish();
    }
    quarn::ScanSettings settings;
    settings.walk.measure = measureOf(options);
    settings.walk.oneFileSystem = options.oneFileSystem;
    settings.walk.followTarget = options.followPaths;
    settings.walk.followLinks = options.followLinks;
    // With -L a folder reached by two names counts at the one walked first:
    // one thread walks, so that is the same name in every run.
    settings.walk.threads = options.followLinks ? 1 : options.threads;

    quarn::Exclusion exclusion;
    for (const std::string &pattern : options.excludePatterns)
        exclusion.addPattern(pattern);
    for (const std::string &file : options.excludeFiles) {
        const std::string reason = exclusion.addPatternsFrom(file);
        if (!reason.empty()) {
            writeAll(STDERR_FILENO,
                     "quarn: cannot read '" + quarn::escapedForLog(file) + "': " + reason + "\n");
            return 2;
        }
    }
    exclusion.setExcludeCaches(options.excludeCaches);
    if (exclusion.active())
        settings.walk.exclusion = &exclusion;

    // While this is the process's only thread, the descriptor table is
    // grown at no cost for every walk to come.
    quarn::DescriptorBudget::growTableAhead(settings.walk.workers());
    // A walker held in a request (a FUSE reply, a network round trip) must
    // not hold up a signal's handler while the others go on.
    quarn::EndingSignalsThread endingSignals;

    // Only for a person watching: never when standard error goes to a log.
    std::unique_ptr<quarn::Progress> progress;
    if (options.progress && ::isatty(STDERR_FILENO))
        progress = std::make_unique<quarn::Progress>(settings.walk.workers());

    // Several paths count what they share once, as du counts it; so does a
    // walk that follows links, where one may lead anywhere.
    quarn::HardLinkSet counted;
    if (options.paths.size() > 1 || options.followLinks) {
        settings.shared.counted = &counted;
        settings.shared.noteEveryFile = options.followLinks || namesAFile(options.paths);
    }

    if (options.input && options.output)
        return quarn::copyExport(options, endingSignals);
    if (options.diff)
        return quarn::runDiff(options, settings, progress.get(), endingSignals);
    if (options.output)
        return exportScan(options.paths.front(), options, settings, progress.get(), endingSignals);

    // Each report is written as soon as its walk ends.
    const quarn::ReportOptions report = reportOptions(options);
    for (const std::string &path : options.paths) {
        if (!accessible(path)) {
            reports.failed(2);
            continue;
        }
        if (!reports.add(scanReport(path, settings, report, progress.get())))
            break;
    }
    return reports.finish();
}
