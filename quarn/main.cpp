// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// quarn: reports the largest entries of a directory tree.

#include "atomicoutput.h"
#include "dirtree.h"
#include "exclusion.h"
#include "hardlinkset.h"
#include "jsonwriter.h"
#include "ncduexport.h"
#include "ncduimport.h"
#include "options.h"
#include "progress.h"
#include "textwriter.h"
#include "utf8.h"
#include "walker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace {

// Writes all of text to fd, waiting for room when fd is non-blocking.
// Returns 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view text)
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

// A standard stream that was closed at start would be taken by the next
// descriptor opened (a folder of the walk), and the report or the error
// lines would go there. Hold its place with a descriptor that refuses
// writes, so that writing to it fails with EBADF as it would have.
void holdClosedStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int held = ::open("/dev/null", O_RDONLY); // lowest free number: fd itself
        if (held >= 0 && held != fd)
            ::close(held);
    }
}

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
                 quarn::OutputSink &out)
{
    if (options.json)
        return quarn::writeJson(report, exactSizes, out, [](std::string_view name) {
            writeAll(STDERR_FILENO,
                     "quarn: name is not UTF-8, shown with U+FFFD: '" + quarn::escapedForLog(name) + "'\n");
        });
    return quarn::writeText(report, exactSizes, colour(options.colour), out);
}

// quarn -f FILE: the report from an export instead of a walk.
int reportFromExport(const quarn::Options &options)
{
    const std::string &file = *options.input;
    const int fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        writeAll(STDERR_FILENO,
                 "quarn: cannot read '" + quarn::escapedForLog(file) + "': " + std::strerror(errno) + "\n");
        return 2;
    }
    quarn::ImportSettings settings;
    settings.top = options.top;
    settings.maxDepth = options.maxDepth;
    settings.apparentSize = options.apparentSize;
    const quarn::ImportResult result = quarn::importExport(
        [fd](char *buffer, std::size_t size) { return long(::read(fd, buffer, size)); }, settings);
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (!result.read) {
        writeAll(STDERR_FILENO, "quarn: " + quarn::escapedForLog(file) + ": " + result.problem + "\n");
        return 2;
    }
    StdoutSink out;
    if (!writeReport(result.report, options, options.exactSizes, out)) {
        reportWriteError(out.error());
        return 1;
    }
    return 0;
}

// As du: patterns match characters of the user's locale (LC_CTYPE) and
// order ranges by it (LC_COLLATE), and the progress line counts columns by
// it. Every other category stays that of the C locale, so that the report
// reads the same everywhere and system errors stay in English beside ours;
// loading only these two also spares a short run reading ten more files.
void useLocale()
{
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_COLLATE, "");
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
// stays as it was.
int exportScan(const std::string &path, const quarn::Options &options, quarn::ScanSettings &settings,
               quarn::Exclusion &exclusion)
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
    quarn::NcduExport exporter(out, settings.threads);
    if (exporter.failed()) {
        writeAll(STDERR_FILENO, "quarn: " + exporter.error() + "\n");
        return 1;
    }
    settings.ncduExport = &exporter;
    settings.top = 1; // the report is not shown
    if (settings.exclusion)
        exclusion.setTarget(quarn::displayName(path));
    const quarn::ScanResult result = quarn::scan(path, settings);
    if (result.status == quarn::ScanResult::TargetUnreadable)
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
    const std::string problem = file.commit();
    if (!problem.empty()) {
        writeAll(STDERR_FILENO, "quarn: " + problem + "\n");
        return 1;
    }
    return result.status == quarn::ScanResult::Complete ? 0 : 1;
}

// The whole run; main() turns an allocation that failed into one line.
int run(int argc, char **argv)
{
    holdClosedStandardStreams();
    useLocale();

    quarn::Options options;
    std::string problem = quarn::parseOptions(argc - 1, argv + 1, options);
    if (!problem.empty()) {
        writeAll(STDERR_FILENO, "quarn: " + problem + "\nTry 'quarn --help' for more information.\n");
        return 2;
    }
    if (options.action == quarn::Options::Help)
        return writeOutput(quarn::usageText()) ? 0 : 1;
    if (options.action == quarn::Options::Version)
        return writeOutput(quarn::versionText()) ? 0 : 1;
    if (options.input)
        return reportFromExport(options);
    quarn::ScanSettings settings;
    settings.top = options.summarize ? 1 : options.top;
    settings.measure = options.inodes         ? quarn::Measure::Entries
                       : options.apparentSize ? quarn::Measure::Apparent
                                              : quarn::Measure::Allocated;
    settings.oneFileSystem = options.oneFileSystem;
    settings.threads = options.threads ? options.threads : quarn::defaultThreadCount();
    settings.addThreads = options.threads == 0;
    settings.maxDepth = options.maxDepth;

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
        settings.exclusion = &exclusion;

    // Only for a person watching: never when standard error goes to a log.
    std::unique_ptr<quarn::Progress> progress;
    if (options.progress && ::isatty(STDERR_FILENO)) {
        progress = std::make_unique<quarn::Progress>(settings.threads);
        settings.progress = progress.get();
    }

    if (options.output)
        return exportScan(options.paths.front(), options, settings, exclusion);

    // Several paths count what they share once, as du counts it.
    quarn::HardLinkSet counted;
    if (options.paths.size() > 1) {
        settings.counted = &counted;
        settings.noteEveryFile = namesAFile(options.paths);
    }

    // Each report is written as soon as its walk ends. The status is the
    // worst of the paths': 2 for one that cannot be read at all, 1 for
    // entries that could not be read.
    StdoutSink out;
    const bool exactSizes = options.exactSizes || options.inodes; // a count of entries is never scaled
    int status = 0;
    std::uint64_t total = 0;
    for (const std::string &path : options.paths) {
        if (!accessible(path)) {
            status = 2;
            continue;
        }
        if (settings.exclusion)
            exclusion.setTarget(quarn::displayName(path));
        const quarn::ScanResult result = quarn::scan(path, settings);
        if (result.status == quarn::ScanResult::TargetUnreadable) {
            status = 2;
            continue;
        }
        if (result.status == quarn::ScanResult::AlreadyCounted)
            continue;
        if (result.status == quarn::ScanResult::Incomplete)
            status = std::max(status, 1);
        total = quarn::addSizes(total, result.report.entries().front().size);
        if (!writeReport(result.report, options, exactSizes, out)) {
            reportWriteError(out.error());
            return std::max(status, 1);
        }
    }
    if (options.total) {
        quarn::Report sum;
        sum.add(0, "total", total);
        if (!writeReport(sum, options, exactSizes, out)) {
            reportWriteError(out.error());
            return std::max(status, 1);
        }
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        // Whatever was being done is dropped; this line needs no memory.
        writeAll(STDERR_FILENO, "quarn: memory exhausted\n");
        return 1;
    }
}
