// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// quarn: reports the largest entries of a directory tree.

#include "jsonwriter.h"
#include "options.h"
#include "textwriter.h"
#include "utf8.h"
#include "walker.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// Writes text on stdout; on failure says why on stderr. Returns whether it
// was written whole.
bool writeOutput(std::string_view text)
{
    int error = writeAll(STDOUT_FILENO, text);
    if (error == 0)
        return true;
    writeAll(STDERR_FILENO, std::string("quarn: write error: ") + std::strerror(error) + "\n");
    return false;
}

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

} // namespace

int main(int argc, char **argv)
{
    holdClosedStandardStreams();

    quarn::Options options;
    std::string problem = quarn::parseOptions(argc - 1, argv + 1, options);
    if (!problem.empty()) {
        writeAll(STDERR_FILENO, "quarn: " + quarn::escapedForLog(problem) + "\n" + quarn::usageText());
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
    quarn::ScanResult result = quarn::scan(options.path, settings);
    if (result.status == quarn::ScanResult::TargetUnreadable)
        return 2;

    bool written;
    if (options.json) {
        quarn::JsonText json = quarn::writeJson(result.report, options.exactSizes);
        for (const std::string &name : json.badNames)
            writeAll(STDERR_FILENO,
                     "quarn: name is not UTF-8, shown with U+FFFD: '" + quarn::escapedForLog(name) + "'\n");
        written = writeOutput(json.text);
    } else {
        written = writeOutput(quarn::writeText(result.report, options.exactSizes, ::isatty(STDOUT_FILENO)));
    }
    return written && result.status == quarn::ScanResult::Complete ? 0 : 1;
}
