// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Swaps two paths until killed, resting 20 microseconds after each:
//   raceswap exchange A B   A and B trade places atomically (RENAME_EXCHANGE)
//   raceswap link A B       folder A moves aside, symlink B takes its place, then both move back
// Exits 1 at once if the first swap fails, so a race that cannot run is seen.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "exchange") != 0 && std::strcmp(argv[1], "link") != 0)) {
        std::fprintf(stderr, "usage: raceswap exchange|link A B\n");
        return 2;
    }
    const bool exchange = std::strcmp(argv[1], "exchange") == 0;
    const char *a = argv[2], *b = argv[3];
    const std::string aside = std::string(a) + ".aside";
    for (unsigned long round = 0;; ++round) {
        bool ok;
        if (exchange)
            ok = ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0;
        else
            ok = std::rename(a, aside.c_str()) == 0 && std::rename(b, a) == 0 && std::rename(a, b) == 0 &&
                 std::rename(aside.c_str(), a) == 0;
        if (!ok && round == 0) {
            std::fprintf(stderr, "raceswap: %s '%s' '%s': %s\n", argv[1], a, b, std::strerror(errno));
            return 1;
        }
        // A short rest between swaps leaves the walker most of a shared core;
        // a walk still meets dozens of swaps.
        ::usleep(20);
    }
}
