// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What a parsed command line does: which command runs, who follows the walk, and the exit status.

#include "cli/command.h"
#include "cli/endingsignals.h"

#include "cli/atomicoutput.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "core/dirtree.h"
#include "core/hardlinkset.h"
#include "core/utf8.h"
#include "formats/jsonwriter.h"
#include "formats/ncduexport.h"
#include "formats/ncduimport.h"
#include "formats/textwriter.h"
#include "select/reportselection.h"
#include "walk/exclusion.h"
#include "walk/walker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

using quarn::writeAll;

// What the walk of one PATH, or an export read, gives.
struct ScanResult
{
    quarn::ScanStatus status = quarn::ScanStatus::Complete;
    quarn::Report report; // empty when the target could not be looked at, or was counted already
};

void reportWriteError(int error)
{
    writeAll(STDERR_FILENO, std::string("quarn: write error: ") + std::strerror(error) + "\n");
}

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

// The report's way to stdout, chunk by chunk; the first failure ends it.
class StdoutSink final : public quarn::OutputSink
{
public:
    bool write(std::string_view chunk) override
    {
        m_error = writeAll(STDOUT_FILENO, chunk);
        return m_error == 0;
    }
    int error() const { return m_error; }

private:
    int m_error = 0;
};

// NO_COLOR set to anything but the empty text turns the automatic colour off.
bool colour(quarn::Options::Colour choice)
{
    if (choice != quarn::Options::ColourAuto)
        return choice == quarn::Options::ColourAlways;
    const char *noColour = std::getenv("NO_COLOR");
    return ::isatty(STDOUT_FILENO) && !(noColour && *noColour);
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

bool writeReport(const quarn::Report &report, const quarn::Options &options, bool exactSizes,
                 quarn::OutputSink &out, std::uint64_t whole = 0)
{
    if (options.json)
        return quarn::writeJson(report, exactSizes, out, [](std::string_view name) {
            writeAll(STDERR_FILENO,
                     "quarn: name is not UTF-8, shown with U+FFFD: '" + quarn::escapedForLog(name) + "'\n");
        });
    return quarn::writeText(report, exactSizes, colour(options.colour), out, whole);
}

// The reports of a run, written as each comes, then the total line (-c):
// one way for the walks of PATHs and the report of an export, so that both
// print, count and end alike. A text summary of several PATHs is held to
// the end instead, one line for each, so that each shows its share of the
// total rather than 100.0%.
class Reports
{
public:
    explicit Reports(const quarn::Options &options)
        : m_options(options), m_exactSizes(options.exactSizes || options.inodes), // a count is never scaled
          m_holdLines(options.summarize && !options.json && !options.input && options.paths.size() > 1)
    {}

    // Writes result's report and adds its total: the status is the worst of
    // the results', 2 for a target that could not be read at all, 1 for
    // entries that could not be read. False once a write failed (said on
    // stderr): nothing more is written then.
    bool add(const ScanResult &result)
    {
        if (result.status == quarn::ScanStatus::TargetUnreadable) {
            failed(2);
            return true;
        }
        if (result.status == quarn::ScanStatus::AlreadyCounted)
            return true;
        if (result.status == quarn::ScanStatus::Incomplete)
            failed(1);
        const quarn::ReportEntry &root = result.report.entries().front();
        m_total = quarn::addSizes(m_total, root.size);
        if (m_holdLines) {
            std::string name(result.report.name(root));
            if (!result.report.linkTarget().empty())
                name += " -> " + result.report.linkTarget(); // text only: the writer makes it printable
            m_held.add(0, name, root.size, result.report.error(root));
            return true;
        }
        return write(result.report);
    }
    void failed(int status) { m_status = std::max(m_status, status); }
    // Writes the total line if asked for; returns the run's status.
    int finish()
    {
        if (m_holdLines) {
            if (m_options.total)
                m_held.add(0, "total", m_total);
            if (!m_held.entries().empty())
                write(m_held, std::max<std::uint64_t>(m_total, 1));
        } else if (m_options.total && !m_writeFailed) {
            quarn::Report sum;
            sum.add(0, "total", m_total);
            write(sum);
        }
        return m_status;
    }

private:
    bool write(const quarn::Report &report, std::uint64_t whole = 0)
    {
        if (m_writeFailed)
            return false;
        if (writeReport(report, m_options, m_exactSizes, m_out, whole))
            return true;
        reportWriteError(m_out.error());
        m_writeFailed = true;
        failed(1);
        return false;
    }

    const quarn::Options &m_options;
    const bool m_exactSizes;
    StdoutSink m_out;
    const bool m_holdLines;
    quarn::Report m_held;      // with m_holdLines: each PATH's line, in order
    std::uint64_t m_total = 0; // of every report written, in what the run counts
    int m_status = 0;
    bool m_writeFailed = false;
};

// The entries the report names, the target included, as -n and -s choose.
std::size_t reportedEntries(const quarn::Options &options)
{
    return options.summarize ? 1 : options.top;
}

quarn::Measure measureOf(const quarn::Options &options)
{
    return options.inodes         ? quarn::Measure::Entries
           : options.apparentSize ? quarn::Measure::Apparent
                                  : quarn::Measure::Allocated;
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
    settings.top = reportedEntries(options);
    settings.maxDepth = options.maxDepth;
    settings.measure = measureOf(options);
    quarn::ImportResult imported = quarn::importExport(
        [fd](char *buffer, std::size_t size) { return long(::read(fd, buffer, size)); }, settings);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (!imported.read) {
        const std::string name = quarn::escapedForLog(file);
        if (!imported.decompressor.empty()) // one line, with the command that reads it
            writeAll(STDERR_FILENO, "quarn: " + name + ": " + imported.problem + "; read it with '" +
                                        imported.decompressor + (file == "-" ? "" : " " + name) +
                                        " | quarn -f -'\n");
        else
            writeAll(STDERR_FILENO, "quarn: " + name + ": " + imported.problem + "\n");
        return false;
    }
    // What the walk said of what it could not read, in one line.
    if (imported.unreadable > 0) {
        const std::string count = imported.unreadable == 1
                                      ? "a read error"
                                      : std::to_string(imported.unreadable) + " read errors, the first";
        const std::string reason =
            imported.firstReason.empty() ? "" : ": " + quarn::escapedForLog(imported.firstReason);
        writeAll(STDERR_FILENO, "quarn: " + quarn::escapedForLog(file) + ": records " + count + " at '" +
                                    quarn::escapedForLog(imported.firstUnreadable) + "'" + reason + "\n");
    }
    result.status = imported.unreadable > 0 ? quarn::ScanStatus::Incomplete : quarn::ScanStatus::Complete;
    result.report = std::move(imported.report);
    return true;
}

// The report options -n, -s and -d make.
quarn::ReportOptions reportOptions(const quarn::Options &options)
{
    quarn::ReportOptions report;
    report.top = reportedEntries(options);
    report.maxDepth = options.maxDepth;
    return report;
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

// The operand must exist, as du checks it before anything else, and says
// so in the same words.
bool accessible(const std::string &path)
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
int exportScan(const std::string &path, const quarn::Options &options, quarn::ScanSettings &settings,
               quarn::Progress *progress, quarn::EndingSignalsThread &endingSignals)
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

} // namespace

int quarn::runCommand(const Options &options)
{
    if (options.action == quarn::Options::Help)
        return writeOutput(quarn::usageText()) ? 0 : 1;
    if (options.action == quarn::Options::Version)
        return writeOutput(quarn::versionText()) ? 0 : 1;
    Reports reports(options);
    if (options.input) {
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
