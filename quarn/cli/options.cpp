// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/options.h"

#include "core/utf8.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace quarn {

namespace {

// Codes of the long options, apart from the short letters so that an error
// tells which form was used.
enum LongCode {
    LongTop = 256,
    LongMaxDepth,
    LongJson,
    LongBytes,
    LongOneFileSystem,
    LongDereferenceArgs,
    LongDereference,
    LongApparentSize,
    LongInodes,
    LongSummarize,
    LongTotal,
    LongThreads,
    LongExclude,
    LongExcludeFrom,
    LongExcludeCaches,
    LongColour,
    LongNoProgress,
    LongHelp,
    LongVersion,
    LongInput,
    LongOutput,
};

const option longOptions[] = {
    {"top", required_argument, nullptr, LongTop},
    {"max-depth", required_argument, nullptr, LongMaxDepth},
    {"json", no_argument, nullptr, LongJson},
    {"bytes", no_argument, nullptr, LongBytes},
    {"one-file-system", no_argument, nullptr, LongOneFileSystem},
    {"dereference-args", no_argument, nullptr, LongDereferenceArgs},
    {"dereference", no_argument, nullptr, LongDereference},
    {"apparent-size", no_argument, nullptr, LongApparentSize},
    {"inodes", no_argument, nullptr, LongInodes},
    {"summarize", no_argument, nullptr, LongSummarize},
    {"total", no_argument, nullptr, LongTotal},
    {"threads", required_argument, nullptr, LongThreads},
    {"exclude", required_argument, nullptr, LongExclude},
    {"exclude-from", required_argument, nullptr, LongExcludeFrom},
    {"exclude-caches", no_argument, nullptr, LongExcludeCaches},
    {"color", optional_argument, nullptr, LongColour},
    {"colour", optional_argument, nullptr, LongColour},
    {"no-progress", no_argument, nullptr, LongNoProgress},
    {"help", no_argument, nullptr, LongHelp},
    {"version", no_argument, nullptr, LongVersion},
    {"input", required_argument, nullptr, LongInput},
    {"output", required_argument, nullptr, LongOutput},
    {nullptr, 0, nullptr, 0},
};

// The leading ':' makes a missing value return ':' instead of '?'.
constexpr const char shortOptions[] = ":n:d:jbxsct:X:hVf:o:DHL";

const option *longOptionWithCode(int code)
{
    for (const option *o = longOptions; o->name; ++o)
        if (o->val == code)
            return o;
    return nullptr;
}

std::string quoted(std::string_view text)
{
    return "'" + escapedForLog(text) + "'";
}

bool readCount(const char *text, unsigned long long minimum, unsigned long long maximum,
               unsigned long long &value)
{
    if (!text || *text < '0' || *text > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == 0 && value >= minimum && value <= maximum;
}

// Names the option in the form given: "-n" or "--top".
std::string invalidCount(const char *text, int code, const char *name, unsigned long long minimum,
                         unsigned long long maximum)
{
    const std::string option = code < LongTop ? std::string("-") + char(code) : std::string("--") + name;
    return "invalid count " + quoted(text ? text : "") + " for " + option + " (" + std::to_string(minimum) +
           " to " + std::to_string(maximum) + ")";
}

// The message for a long option getopt_long did not accept without naming
// it (optopt 0): unknown, or an abbreviation of several options. Lists the
// candidates as glibc's getopt does: the first match and every later one
// that differs from it.
std::string unknownLongOption(std::string_view argument)
{
    std::string_view name = argument.substr(std::min<std::size_t>(2, argument.size()));
    name = name.substr(0, name.find('='));
    const option *first = nullptr;
    std::string candidates;
    bool ambiguous = false;
    for (const option *o = longOptions; o->name; ++o) {
        if (std::string_view(o->name).substr(0, name.size()) != name)
            continue;
        if (!first) {
            first = o;
            candidates = " '--" + std::string(o->name) + "'";
        } else if (o->has_arg != first->has_arg || o->val != first->val) {
            ambiguous = true;
            candidates += " '--" + std::string(o->name) + "'";
        }
    }
    if (ambiguous)
        return "option " + quoted(argument) + " is ambiguous; possibilities:" + candidates;
    return "unrecognized option " + quoted(argument);
}

// The option as given: "-x" or "--one-file-system".
std::string spelled(int code)
{
    if (code < LongTop)
        return std::string("-") + char(code);
    const option *o = longOptionWithCode(code);
    return "--" + std::string(o ? o->name : "");
}

// Notes the first option that only a walk uses and the first that only a
// report uses: neither applies to reading an export or to writing one.
void noteUse(int code, Options &options)
{
    switch (code) {
    case 'x':
    case LongOneFileSystem:
    case 'D':
    case 'H':
    case LongDereferenceArgs:
    case 'L':
    case LongDereference:
    case LongExclude:
    case 'X':
    case LongExcludeFrom:
    case LongExcludeCaches:
    case 't':
    case LongThreads:
        if (options.walkOption.empty())
            options.walkOption = spelled(code);
        break;
    case 'n':
    case LongTop:
    case 'd':
    case LongMaxDepth:
    case 'j':
    case LongJson:
    case 'b':
    case LongBytes:
    case 's':
    case LongSummarize:
    case 'c':
    case LongTotal:
    case LongInodes: // an export holds every entry: its report can count them, it cannot
        if (options.reportOption.empty())
            options.reportOption = spelled(code);
        break;
    default:
        break;
    }
}

} // namespace

std::string parseOptions(int argc, const char *const *argv, Options &options)
{
    // getopt_long permutes the pointers (never the texts) and reads argv[0]
    // as the program's name.
    std::vector<char *> args;
    args.reserve(std::size_t(argc) + 2);
    args.push_back(const_cast<char *>("quarn"));
    for (int i = 0; i < argc; ++i)
        args.push_back(const_cast<char *>(argv[i]));
    args.push_back(nullptr);
    const int count = argc + 1;

    optind = 0; // a full restart, POSIXLY_CORRECT read again
    opterr = 0; // the messages are ours
    for (;;) {
        const int code = getopt_long(count, args.data(), shortOptions, longOptions, nullptr);
        if (code == -1)
            break;
        unsigned long long value = 0;
        noteUse(code, options);
        switch (code) {
        case 'n':
        case LongTop:
            if (!readCount(optarg, 1, 100000000, value))
                return invalidCount(optarg, code, "top", 1, 100000000);
            options.top = std::size_t(value);
            break;
        case 'd':
        case LongMaxDepth:
            if (!readCount(optarg, 0, UINT32_MAX, value))
                return invalidCount(optarg, code, "max-depth", 0, UINT32_MAX);
            options.maxDepth = std::uint32_t(value);
            break;
        case 't':
        case LongThreads:
            if (!readCount(optarg, 1, 1024, value))
                return invalidCount(optarg, code, "threads", 1, 1024);
            options.threads = unsigned(value);
            break;
        case 'j':
        case LongJson:
            options.json = true;
            break;
        case 'b':
        case LongBytes:
            options.exactSizes = true;
            break;
        case 'x':
        case LongOneFileSystem:
            options.oneFileSystem = true;
            break;
        case 'D':
        case 'H':
        case LongDereferenceArgs:
            options.followPaths = true;
            break;
        case 'L':
        case LongDereference:
            options.followLinks = true;
            break;
        case LongApparentSize:
            options.apparentSize = true;
            break;
        case LongInodes:
            options.inodes = true;
            break;
        case 's':
        case LongSummarize:
            options.summarize = true;
            break;
        case 'c':
        case LongTotal:
            options.total = true;
            break;
        case LongExclude:
            options.excludePatterns.emplace_back(optarg);
            break;
        case 'X':
        case LongExcludeFrom:
            options.excludeFiles.emplace_back(optarg);
            break;
        case LongExcludeCaches:
            options.excludeCaches = true;
            break;
        case LongColour:
            if (!optarg || std::strcmp(optarg, "always") == 0)
                options.colour = Options::ColourAlways;
            else if (std::strcmp(optarg, "never") == 0)
                options.colour = Options::ColourNever;
            else if (std::strcmp(optarg, "auto") == 0)
                options.colour = Options::ColourAuto;
            else
                return "invalid argument " + quoted(optarg) + " for '--color' (auto, always or never)";
            break;
        case LongNoProgress:
            options.progress = false;
            break;
        case 'f':
        case LongInput:
            options.input = optarg;
            break;
        case 'o':
        case LongOutput:
            options.output = optarg;
            break;
        case 'h':
        case LongHelp:
            options.action = Options::Help;
            return {};
        case 'V':
        case LongVersion:
            options.action = Options::Version;
            return {};
        case ':':
            if (const option *o = longOptionWithCode(optopt))
                return "option '--" + std::string(o->name) + "' requires an argument";
            return "option requires an argument -- " + quoted(std::string(1, char(optopt)));
        default: // '?'
            if (const option *o = longOptionWithCode(optopt))
                return "option '--" + std::string(o->name) + "' doesn't allow an argument";
            if (optopt == 0)
                return unknownLongOption(args[std::size_t(optind) - 1]);
            return "invalid option -- " + quoted(std::string(1, char(optopt)));
        }
    }
    options.paths.assign(args.begin() + optind, args.begin() + count);
    if (options.input && options.output)
        return "options '--input' and '--output' cannot be used together";
    if (options.input && !options.paths.empty())
        return "extra operand " + quoted(options.paths.front()) + ": --input reads no PATH";
    if (options.input && !options.walkOption.empty())
        return "option '" + options.walkOption + "' cannot be used with --input";
    if (options.output && !options.reportOption.empty())
        return "option '" + options.reportOption + "' cannot be used with --output";
    if (options.output && options.paths.size() > 1)
        return "extra operand " + quoted(options.paths[1]) + ": --output writes one PATH";
    if (options.paths.empty())
        options.paths.emplace_back(".");
    return {};
}

const char *usageText()
{
    return "Usage: quarn [OPTION]... [PATH]...\n"
           "  or:  quarn [OPTION]... -f FILE\n"
           "Shows the N largest entries (files and folders) under each PATH (default: .),\n"
           "PATH included, as a text tree or as JSON, one report after the other.\n"
           "What several PATHs share (hard links, a PATH inside another) counts once.\n"
           "\n"
           "  -n, --top=N              report the N largest entries (default 20)\n"
           "  -d, --max-depth=N        report only entries at most N levels below PATH;\n"
           "                           everything is still counted\n"
           "  -s, --summarize          one line for each PATH: its total (-n 1); with\n"
           "                           several, each line's share is of their total\n"
           "  -c, --total              end with the total of every PATH, named total\n"
           "  -j, --json               print one JSON document a line, for each PATH,\n"
           "                           instead of a text tree\n"
           "  -b, --bytes              print exact byte counts\n"
           "      --apparent-size      count file lengths instead of allocated space\n"
           "      --inodes             count entries instead of space: each one counts\n"
           "                           1, a folder itself and everything below it\n"
           "  -x, --one-file-system    stay on PATH's file system\n"
           "  -D, -H, --dereference-args\n"
           "                           follow PATH where it is a symbolic link\n"
           "  -L, --dereference        follow every symbolic link: each target counts\n"
           "                           once, wherever it lies, as du -L counts it;\n"
           "                           one thread walks\n"
           "      --exclude=PATTERN    leave out entries whose name or path matches the\n"
           "                           shell pattern PATTERN, as du --exclude does\n"
           "  -X, --exclude-from=FILE  leave out entries matching a pattern in FILE\n"
           "                           (one a line)\n"
           "      --exclude-caches     leave out what folders tagged by a valid\n"
           "                           CACHEDIR.TAG hold, the tag file excepted\n"
           "      --color[=WHEN]       colour the bars: auto (default: when standard\n"
           "                           output is a terminal and NO_COLOR is unset),\n"
           "                           always or never\n"
           "      --no-progress        no progress line on a terminal's standard error\n"
           "  -t, --threads=N          walking threads (default: one per processor, and\n"
           "                           more, up to 64, while walkers wait in the kernel:\n"
           "                           a disk, a network or FUSE file system)\n"
           "  -o, --output=FILE        write the whole walk to FILE ('-': standard\n"
           "                           output) in the disk-usage export format (JSON 1.2)\n"
           "                           instead of a report; ncdu -f FILE and gdu -f FILE\n"
           "                           open it, as does quarn -f; for scripts, -o - gives\n"
           "                           every entry with exact numbers\n"
           "  -f, --input=FILE         report from such an export ('-': standard input)\n"
           "                           instead of walking a PATH; every report option\n"
           "                           applies, not -x, -D, -H, -L, --exclude, -X,\n"
           "                           --exclude-caches, -t, -o or a PATH\n"
           "  -h, --help               show this help and exit\n"
           "  -V, --version            show the version and exit\n"
           "\n"
           "Sizes: below 1024 bytes the integer; otherwise three significant digits in\n"
           "K, M, G or T (powers of 1024): 4.00K, 12.3M, 123M; from 999.5 of a unit up,\n"
           "the next unit: 0.992G; from 999.5T up, the integer number of T: 2048T.\n"
           "\n"
           "Exit status: 0 if everything was read; 1 if some entries could not be read\n"
           "or a report could not be written; 2 for bad usage or an unreadable PATH.\n"
           "\n"
           "Full documentation: man quarn\n";
}

const char *versionText()
{
    return "quarn (quarn-gui) " QUARN_VERSION "\n"
           "Copyright (C) 2026 The quarn-gui developers.\n"
           "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n"
           "\n"
           "Written by The quarn-gui developers.\n";
}

} // namespace quarn
