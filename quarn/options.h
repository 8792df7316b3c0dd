// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <string>

namespace quarn {

struct Options
{
    enum Action { Scan, Help, Version };
    Action action = Scan;
    std::size_t top = 20;       // -n
    bool json = false;          // -j
    bool exactSizes = false;    // -b
    bool oneFileSystem = false; // -x
    bool apparentSize = false;  // --apparent-size
    unsigned threads = 0;       // -t; 0: the default
    std::string path = ".";
};

// Reads the command line (argv[0] excluded). Short options may be grouped
// ("-jb") and take their value attached or as the next argument ("-n13",
// "-n 13"); "--" ends the options. Returns an empty text on success, else
// what was wrong.
std::string parseOptions(int argc, const char *const *argv, Options &options);

const char *usageText();
const char *versionText();

} // namespace quarn
