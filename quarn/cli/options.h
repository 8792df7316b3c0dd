// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn {

struct Options
{
    enum Action { Scan, Help, Version };
    enum Colour { ColourAuto, ColourAlways, ColourNever };
    Action action = Scan;
    std::size_t top = 20;                     // -n, --top
    std::uint32_t maxDepth = UINT32_MAX;      // -d, --max-depth; UINT32_MAX: no limit
    bool json = false;                        // -j, --json
    bool exactSizes = false;                  // -b, --bytes
    bool oneFileSystem = false;               // -x, --one-file-system
    bool followPaths = false;                 // -D, -H, --dereference-args
    bool followLinks = false;                 // -L, --dereference
    bool apparentSize = false;                // --apparent-size
    bool inodes = false;                      // --inodes
    bool summarize = false;                   // -s, --summarize: -n 1
    bool total = false;                       // -c, --total
    unsigned threads = 0;                     // -t, --threads; 0: the default
    std::vector<std::string> excludePatterns; // --exclude, in order
    std::vector<std::string> excludeFiles;    // -X, --exclude-from, in order
    bool excludeCaches = false;               // --exclude-caches
    Colour colour = ColourAuto;               // --color, --colour
    bool progress = true;                     // cleared by --no-progress
    std::vector<std::string> paths;           // in the order given; "." when none is
    std::optional<std::string> input;         // -f, --input: report from an export instead of a walk
    std::optional<std::string> output;        // -o, --output: export the walk instead of a report
    std::optional<std::string> diff;          // --diff: compare this export with the walk or with -f's
    std::string walkOption;                   // the first option given that only a walk uses, as spelled
    std::string reportOption;                 // the first option given that only a report uses, as spelled
};

// Reads the command line (argv[0] excluded) with getopt_long: long options
// may be abbreviated and take their value as "--top=13" or "--top 13", short
// ones may be grouped ("-jn13"), options may follow the path, "--" ends them
// and POSIXLY_CORRECT stops them at the first operand. --help and --version
// end the reading. Returns an empty text on success, else the message for
// "quarn: MESSAGE" (values in it escaped for a terminal). With --diff and
// no PATH, paths stays empty: the default is the earlier scan's target.
std::string parseOptions(int argc, const char *const *argv, Options &options);

const char *usageText();
const char *versionText();

} // namespace quarn
