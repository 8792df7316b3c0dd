#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""Builds a benchmark tree, always the same for the same arguments.

  maketree.py files ROOT FILES FOLDERS   FILES files of 0 to 16 KiB in FOLDERS
                                         nested folders
  maketree.py folders ROOT WIDE EACH     WIDE folders holding EACH empty
                                         folders each
  maketree.py chain ROOT DEPTH           one chain of DEPTH folders
"""
import os
import random
import sys


def files_tree(root, files, folders):
    rng = random.Random(20261207)
    os.makedirs(root, exist_ok=True)
    # Folders: each new one goes below a random earlier one, which makes a
    # bushy tree some ten levels deep.
    paths = [root]
    for index in range(folders - 1):
        parent = paths[rng.randrange(len(paths))]
        path = os.path.join(parent, "dir%04d" % index)
        os.mkdir(path)
        paths.append(path)
    chunk = bytes(range(256)) * 64  # 16 KiB of non-zero data
    for index in range(files):
        folder = paths[rng.randrange(len(paths))]
        size = rng.randrange(0, 16 * 1024 + 1)
        with open(os.path.join(folder, "file%06d.dat" % index), "wb") as out:
            out.write(chunk[:size])
    print("built %d files in %d folders under %s" % (files, folders, root))


def folders_tree(root, wide, each):
    os.makedirs(root, exist_ok=True)
    for outer in range(wide):
        path = os.path.join(root, "dir%04d" % outer)
        os.mkdir(path)
        for inner in range(each):
            os.mkdir(os.path.join(path, "sub%04d" % inner))
    print("built %d empty folders in %d folders under %s" % (wide * each, wide, root))


def chain_tree(root, depth):
    # Made through descriptors: the chain's path is longer than any call accepts.
    os.makedirs(root, exist_ok=True)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(depth):
        os.mkdir("d", dir_fd=fd)
        inner = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = inner
    os.close(fd)
    print("built a chain of %d folders under %s" % (depth, root))


def main():
    kind, root, numbers = sys.argv[1], sys.argv[2], [int(n) for n in sys.argv[3:]]
    {"files": files_tree, "folders": folders_tree, "chain": chain_tree}[kind](root, *numbers)


if __name__ == "__main__":
    main()
