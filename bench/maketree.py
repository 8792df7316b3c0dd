#!/usr/bin/env python3
"""Builds the benchmark tree: about 300,000 files of 0 to 16 KiB in about
2,000 nested folders, always the same for the same seed."""
import os
import random
import sys


def main():
    root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
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


if __name__ == "__main__":
    main()
