// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// quarn: reports the largest entries of a directory tree.

#include "cli/command.h"
#include "cli/options.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <new>
#include <string>

namespace {

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

} // namespace

int main(int argc, char **argv)
{
    try {
        holdClosedStandardStreams();
        useLocale();
        quarn::Options options;
        const std::string problem = quarn::parseOptions(argc - 1, argv + 1, options);
        if (!problem.empty()) {
            quarn::writeAll(STDERR_FILENO,
                            "quarn: " + problem + "\nTry 'quarn --help' for more information.\n");
            return 2;
        }
        return quarn::runCommand(options);
    } catch (const std::bad_alloc &) {
        // Whatever was being done is dropped; this line needs no memory.
        quarn::writeAll(STDERR_FILENO, "quarn: memory exhausted\n");
        return 1;
    }
}
