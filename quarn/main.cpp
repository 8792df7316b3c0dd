// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// quarn: reports the largest entries of a directory tree.

#include "exclusion.h"
#include "jsonwriter.h"
#include "options.h"
#include "progress.h"
#include "textwriter.h"
#include "utf8.h"
#include "walker.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
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

int run(int argc, char **argv)
{
    holdClosedStandardStreams();

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

    quarn::ScanSettings settings;
    settings.top = options.top;
    settings.apparentSize = options.apparentSize;
    settings.oneFileSystem = options.oneFileSystem;
    settings.threads = options.threads ? options.threads : quarn::defaultThreadCount();
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
    exclusion.setTarget(quarn::displayName(options.path));
    if (exclusion.active())
        settings.exclusion = &exclusion;

    // Only for a person watching: never when standard error goes to a log.
    std::unique_ptr<quarn::Progress> progress;
    if (options.progress && ::isatty(STDERR_FILENO)) {
        progress = std::make_unique<quarn::Progress>(settings.threads);
        settings.progress = progress.get();
    }

    quarn::ScanResult result = quarn::scan(options.path, settings);
    if (result.status == quarn::ScanResult::TargetUnreadable)
        return 2;

    StdoutSink out;
    bool written;
    if (options.json) {
        written = quarn::writeJson(result.report, options.exactSizes, out, [](std::string_view name) {
            writeAll(STDERR_FILENO,
                     "quarn: name is not UTF-8, shown with U+FFFD: '" + quarn::escapedForLog(name) + "'\n");
        });
    } else {
        written = quarn::writeText(result.report, options.exactSizes, colour(options.colour), out);
    }
    if (!written)
        reportWriteError(out.error());
    return written && result.status == quarn::ScanResult::Complete ? 0 : 1;
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
