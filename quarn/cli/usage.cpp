// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The texts of --help and --version.

#include "cli/options.h"

namespace quarn {

const char *usageText()
{
    return "Usage: quarn [OPTION]... [PATH]...\n"
           "  or:  quarn [OPTION]... -f FILE\n"
           "  or:  quarn [OPTION]... --diff=OLD [PATH | -f NEW]\n"
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
           "                           --exclude-caches, -t or a PATH; with -o OUT,\n"
           "                           the export written again\n"
           "      --diff=OLD           compare the export OLD with a walk of PATH (default:\n"
           "                           the folder OLD records) or, with -f NEW, with the\n"
           "                           export NEW: the N entries whose size changed most,\n"
           "                           each with its size now and its change (+1.02G,\n"
           "                           -12.0M), '(new)' or '(gone)' where it appeared or\n"
           "                           went; with -o NEW the walk is exported as well\n"
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
