// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace quarn {

namespace {

bool readCount(const char *text, unsigned long long maximum, unsigned long long &value)
{
    if (!text || *text < '0' || *text > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == 0 && value >= 1 && value <= maximum;
}

} // namespace

std::string parseOptions(int argc, const char *const *argv, Options &options)
{
    bool pathSeen = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (pathSeen)
                return "more than one path given";
            options.path = std::string(arg);
            pathSeen = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--apparent-size") {
            options.apparentSize = true;
            continue;
        }
        if (arg == "--help") {
            options.action = Options::Help;
            continue;
        }
        if (arg == "--version") {
            options.action = Options::Version;
            continue;
        }
        if (arg[1] == '-')
            return "unknown option '" + std::string(arg) + "'";
        for (std::size_t k = 1; k < arg.size(); ++k) {
            char flag = arg[k];
            switch (flag) {
            case 'j':
                options.json = true;
                break;
            case 'b':
                options.exactSizes = true;
                break;
            case 'x':
                options.oneFileSystem = true;
                break;
            case 'h':
                options.action = Options::Help;
                break;
            case 'V':
                options.action = Options::Version;
                break;
            case 'n':
            case 't': {
                const char *value =
                    k + 1 < arg.size() ? argv[i] + k + 1 : (i + 1 < argc ? argv[++i] : nullptr);
                unsigned long long count = 0;
                if (flag == 'n') {
                    if (!readCount(value, 100000000ull, count))
                        return "-n needs a whole number of at least 1";
                    options.top = std::size_t(count);
                } else {
                    if (!readCount(value, 1024, count))
                        return "-t needs a whole number from 1 to 1024";
                    options.threads = unsigned(count);
                }
                k = arg.size(); // the value used up the rest of this argument
                break;
            }
            default:
                return std::string("unknown option '-") + flag + "'";
            }
        }
    }
    return {};
}

const char *usageText()
{
    return "usage: quarn [-n N] [-j] [-b] [-x] [--apparent-size] [-t THREADS] [PATH]\n"
           "Shows the N largest entries (files and directories) under PATH (default: .).\n"
           "  -n N             report the N largest entries, PATH included (default 20)\n"
           "  -j               print one JSON document instead of a text tree\n"
           "  -b               print exact byte counts\n"
           "  -x               stay on PATH's file system\n"
           "  --apparent-size  count file lengths instead of allocated space\n"
           "  -t THREADS       walking threads (default: 32, or the processors if more)\n"
           "  -h, --help       show this help\n"
           "  -V, --version    show the version\n"
           "Sizes: below 1024 bytes the integer; otherwise three significant digits in\n"
           "K, M, G or T (powers of 1024): 4.00K, 12.3M, 123M; from 999.5 of a unit up,\n"
           "the next unit: 0.992G; from 999.5T up, the integer number of T: 2048T.\n";
}

const char *versionText()
{
    return "quarn " QUARN_VERSION "\n";
}

} // namespace quarn
