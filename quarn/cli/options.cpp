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
    LongDiff,
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
    {"diff", required_argument, nullptr, LongDiff},
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
        case LongDiff:
            options.diff = optarg;
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
    if (options.input && options.output && options.diff)
        return "options '--input' and '--output' cannot be used together with --diff";
    if (options.input && !options.paths.empty())
        return "extra operand " + quoted(options.paths.front()) + ": --input reads no PATH";
    if (options.input && !options.walkOption.empty())
        return "option '" + options.walkOption + "' cannot be used with --input";
    if (options.diff && options.total)
        return "option '--total' cannot be used with --diff";
    if (options.diff && options.output && *options.output == "-")
        return "option '--output=-' cannot be used with --diff: the comparison goes to standard output";
    if (options.diff && options.paths.size() > 1)
        return "extra operand " + quoted(options.paths[1]) + ": --diff compares one PATH";
    if (options.output && !options.reportOption.empty() && !options.diff)
        return "option '" + options.reportOption + "' cannot be used with --output";
    if (options.output && options.paths.size() > 1)
        return "extra operand " + quoted(options.paths[1]) + ": --output writes one PATH";
    if (options.paths.empty() && !options.diff) // --diff's default is the earlier scan's target
        options.paths.emplace_back(".");
    return {};
}

} // namespace quarn
