#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""quarn against du -a on seeded random trees and option sets.

Trees: folders, files (some sparse), hard links across folders, symbolic
links (leading nowhere, to files, to folders holding them), folders without read or search permission, names of any bytes but
'/' and NUL (newlines, invalid UTF-8, leading '-', up to 255 bytes). Options:
--exclude patterns made from the tree's names (literal, with *, ?, [..], \\,
paths with /), -x, -L, --apparent-size, -d, -n, -t; run as root or as nobody.
Each entry quarn reports must carry du's size, its total du's, its status
du's, at every thread count (-t 1, 2, 8, 32, 64 and the default). A file with
several links counts where du counts it, at the first name met in a
depth-first walk in listing order: quarn must list it at that name, once, and
every folder holding some of its names must carry du's size.
Each option set is also exported (-o F, the same walk options) and reported
from the export (-f F) with a random set of report options (-n -d -s -c -j
-b --apparent-size --inodes): the export's report and status must be the
walk's own, byte for byte (errors' reasons too), and the export itself must
end with the walk's status, printing nothing on stdout; read and written
again (-f F -o -), it must come out byte for byte (but with -L).
Last, each tree is exported and changed at random (files grown, shrunk,
added, removed and linked again, folders added and removed), and
--diff=OLD compared with du -a before and after: every entry shown with
du's sizes then and now, its change their difference, every entry whose
size changed shown, the status du's worst; the later export written in the
same walk (-o) and compared with OLD (-f) must give the same comparison.

  fuzz.py QUARN          (QUARN_BIN overrides QUARN)
  QUARN_SEED=S           the first tree's seed (the next ones count up)
  QUARN_SOAK_S=T         run for T seconds, keep the trees that fail
  QUARN_FUZZ_TREES=K     trees in a bounded run (default 80)
"""

import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

QUARN = os.environ.get("QUARN_BIN") or sys.argv[1]
SOAK_S = float(os.environ.get("QUARN_SOAK_S", "0"))
TREES = int(os.environ.get("QUARN_FUZZ_TREES", "80"))
ENV = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
NOBODY = 65534

NAMES = ["café", "cafe", "caf", "naïve", "日本語", "-rf", "--help", "a\nb", " ", "*", "[a]", "?", "\\", "€"]
PIECES = [b"a", b"b", b"x", b"B", b".", b"-", b" ", b"*", b"?", b"[", b"]", b"!", b"\\", b"\n", b"\t", b"\x7f",
          "é".encode(), "€".encode(), "日".encode(), "😀".encode(), b"\xff", b"\xc3", b"\xe2\x82", b"\xed\xa0\x80",
          b"\xc0\xaf", b"\x80", "\u202e".encode()]


def shown(raw):
    """A path as quarn's JSON shows it: U+FFFD for each byte that is not UTF-8."""
    out, i = [], 0
    while i < len(raw):
        for length in (1, 2, 3, 4):
            try:
                out.append(raw[i:i + length].decode("utf-8"))
                i += length
                break
            except UnicodeDecodeError:
                pass
        else:
            out.append("\ufffd")
            i += 1
    return "".join(out)


def random_name(rng):
    r = rng.random()
    if r < 0.2:
        return rng.choice(NAMES).encode()
    if r < 0.25:
        return bytes(rng.choice(b"abcdefgh") for _ in range(rng.randint(200, 255)))
    name = b""
    for _ in range(rng.randint(1, 8)):
        name += rng.choice(PIECES) if rng.random() < 0.8 else bytes([rng.choice([b for b in range(1, 256) if b != 47])])
    return name[:255]


def build(rng, root):
    """The tree below root; its entries as {relative path: stat}."""
    folders, files, taken = [(b"", 0)], [], {b"": set()}
    for _ in range(rng.randint(5, 120)):
        parent, depth = rng.choice(folders)
        name = random_name(rng)
        if name in (b".", b"..") or shown(name) in taken[parent]:
            continue
        taken[parent].add(shown(name))
        rel = parent + b"/" + name if parent else name
        path = root + b"/" + rel
        r = rng.random()
        if r < 0.3 and depth < 5:
            os.mkdir(path)
            folders.append((rel, depth + 1))
            taken[rel] = set()
        elif r < 0.45 and files:
            os.link(root + b"/" + rng.choice(files), path)
        elif r < 0.55:
            # Leading nowhere (mostly), to a file anywhere in the tree, or to
            # a folder holding the link (never above the tree): what -L meets.
            k = rng.random()
            if k < 0.4 and files:
                to = os.path.relpath(root + b"/" + rng.choice(files), os.path.dirname(path))
            elif k < 0.55 and depth > 0:
                to = b"/".join([b".."] * rng.randint(1, depth))
            else:
                to = random_name(rng)
                if to == b".." and depth == 0:  # above the tree, by the exports the runs write
                    to = b"."
            os.symlink(to, path)
        else:
            with open(path, "wb") as f:
                if rng.random() < 0.2:  # sparse: a hole, then a little data
                    f.seek(rng.choice((8192, 65536, 1 << 20)))
                f.write(b"x" * rng.choice((0, 1, 100, 4096, 5000, 70000)))
            files.append(rel)
    for rel, _ in folders[1:]:
        os.chmod(root + b"/" + rel, rng.choice((0o755,) * 8 + (0, 0o100, 0o400, 0o500)))
    entries = {b"": os.lstat(root)}
    for rel in list(taken) + files:
        entries[rel] = os.lstat(root + b"/" + rel)
    for parent in taken:
        for name in os.listdir(root + b"/" + parent if parent else root):
            rel = parent + b"/" + name if parent else name
            entries.setdefault(rel, os.lstat(root + b"/" + rel))
    return entries


def pattern(rng, rels, target):
    """An --exclude pattern made from a name of the tree."""
    rel = rng.choice([r for r in rels if r])
    parts = rel.split(b"/")
    name = parts[-1]
    try:
        text = name.decode("utf-8")
    except UnicodeDecodeError:
        text = None
    i = rng.randrange(len(text) if text else len(name))
    op = rng.choice(("literal", "?", "*suffix", "prefix*", "[c]", "\\c", "dir/name", "*/name", "full"))
    if text is not None and op in ("?", "*suffix", "prefix*", "[c]", "\\c"):
        c = text[i]
        if op == "[c]" and c not in "]!^-\\[":
            c = "[" + c + "]"
        elif op == "\\c":
            c = "\\" + c
        elif op != "[c]":
            c = "?"
        text = {"*suffix": "*" + text[i:], "prefix*": text[:i] + "*"}.get(op, text[:i] + c + text[i + 1:])
        return text.encode()
    if op == "?":
        return name[:i] + b"?" + name[i + 1:]
    if op == "dir/name" and len(parts) > 1:
        return parts[-2] + b"/" + name
    if op == "*/name":
        return b"*/" + name
    if op == "full":
        return target.rstrip(b"/") + b"/" + rel
    return name


def run(command, cwd, nobody):
    def child():
        if nobody:
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)

    try:
        done = subprocess.run(command, cwd=cwd, env=ENV, capture_output=True, timeout=120, preexec_fn=child)
        return done.returncode, done.stdout, done.stderr
    except subprocess.TimeoutExpired:
        return None, b"", b"timed out"


def compare(rng, base, entries):
    """Runs one option set; None, or (options, first differing row)."""
    target = rng.choice((base + b"/t", b"t", b"./t", b"t/"))
    prefix = target if target.endswith(b"/") else target + b"/"
    excludes = [b"--exclude=" + pattern(rng, list(entries), target) for _ in range(rng.choice((0, 1, 1, 2, 3)))]
    apparent, nobody = rng.random() < 0.4, rng.random() < 0.3
    # -L: every link followed, each file and folder counted once, as du -L.
    follow = ["-L"] if rng.random() < 0.25 else []
    shared = (["-x"] if rng.random() < 0.3 else []) + follow + excludes
    top = rng.choice((1, 2, 5, 20, 1000000, 1000000))
    depth = rng.choice((None, None, None, 0, 1, 2, 3))
    own = ["-j", "-b", "-n", str(top)] + (["--apparent-size"] if apparent else []) + shared
    threads = rng.choice(([], ["-t", "1"], ["-t", "2"], ["-t", "8"], ["-t", "32"], ["-t", "64"]))
    own += (["-d", str(depth)] if depth is not None else []) + threads
    du_command = ["du", "-a", "-0", "-b" if apparent else "-B1"] + shared + [target]
    options = "%s%s" % (b" ".join(o if isinstance(o, bytes) else o.encode() for o in own + [target]),
                        " (as nobody)" if nobody else "")
    du = run(du_command, base, nobody)
    got = run([QUARN] + own + [target], base, nobody)
    if got[0] is None or got[0] < 0:
        return options, "status %s, du's %s; stderr %r" % (got[0], du[0], got[2][-300:])
    listed = {}
    for line in du[1].split(b"\0")[:-1]:
        size, _, path = line.partition(b"\t")
        listed[shown(path)] = int(size)
    if shown(target) not in listed:
        # A pattern matched the target itself, which du leaves out (status 0,
        # nothing read) and quarn keeps: its status tells nothing either.
        return None
    if got[0] != du[0]:
        return options, "status %s, du's %s; stderr %r" % (got[0], du[0], got[2][-300:])
    try:
        report = json.loads(got[1])
    except ValueError:
        return options, "no JSON report: %r" % got[1][:300]
    # Where each shown path leads: its stat, and the names of each file with
    # several links.
    stat_of, names_of = {}, {}
    for rel, st in entries.items():
        stat_of[shown(target if not rel else prefix + rel)] = st
        if st.st_nlink > 1 and not os.path.isdir(base + b"/t/" + rel):
            names_of.setdefault((st.st_dev, st.st_ino), []).append(rel)
    rows, seen = [], set()

    def walk(node, level):
        rows.append((node["name"], int(node["size"]), level))
        for child in node.get("children", []):
            walk(child, level + 1)

    walk(report, 0)
    if report["name"] != shown(target):
        return options, "target shown as %r" % report["name"]
    if len(rows) > top:
        return options, "%d rows for -n %d" % (len(rows), top)
    for name, size, level in reversed(rows):  # entries before their folders: the deepest culprit first
        st = stat_of.get(name)
        # Followed links give files names of their own: du's list alone tells where each counts.
        key = (st.st_dev, st.st_ino) if st and (st.st_dev, st.st_ino) in names_of and not follow else None
        if depth is not None and level > depth:
            return options, "%r at depth %d beyond -d %d" % (name, level, depth)
        if key:
            if key in seen:
                return options, "%r: a second name of a file already listed (size %d)" % (name, size)
            seen.add(key)
            counted = [n for n in (shown(prefix + r) for r in names_of[key]) if n in listed]
            if counted != [name] or listed[name] != size:
                return options, "%r: quarn %d, du lists that file once: %s" % (
                    name, size, ", ".join("%r %d" % (n, listed[n]) for n in counted) or "nowhere")
        elif name not in listed:
            return options, "%r: quarn %d, du leaves it out" % (name, size)
        elif listed[name] != size:
            return options, "%r: quarn %d, du %d" % (name, size, listed[name])
    if depth is None and top >= len(listed) and len(rows) != len(listed):
        missing = sorted(set(listed) - {r[0] for r in rows})
        return options, "%d rows, du %d; du's first one missing: %r" % (len(rows), len(listed), missing[:1])
    return compare_export(rng, base, target, shared + threads, nobody, got[0])


def report_options(rng):
    """A random set of report options, each as a walk and -f take them."""
    chosen = rng.choice(([], ["-j"], ["-b"], ["-j", "-b"], ["-j", "-b"]))
    chosen += rng.choice(([], [], ["-n", str(rng.choice((1, 3, 13, 1000000)))], ["-s"], ["-s", "-c"], ["-c"],
                          ["-d", str(rng.choice((0, 1, 2)))], ["-n", "7", "-d", "1"]))
    return chosen + rng.choice(([], [], ["--apparent-size"], ["--inodes"]))


def compare_export(rng, base, target, walk_options, nobody, walk_status):
    """quarn -o F with the walk's options, then -f F with random report
    options, against the walk with those report options: None, or
    (options, what differs)."""
    export = base + b"/out/export.json"
    report = report_options(rng)
    text = b" ".join(o if isinstance(o, bytes) else o.encode() for o in report + walk_options + [target])
    options = "-o/-f: %s%s" % (text.decode("utf-8", "backslashreplace"), " (as nobody)" if nobody else "")
    if os.path.exists(export):
        os.unlink(export)  # another user's, from the option set before
    saved = run([QUARN, "-o", export] + walk_options + [target], base, nobody)
    if saved[0] != walk_status or saved[1]:
        return options, "-o: status %s, the walk's %s; stdout %r; stderr %r" % (
            saved[0], walk_status, saved[1][:100], saved[2][-300:])
    if "-L" not in walk_options:  # -L writes every file's inode, which a copy does not tell from links
        copied = run([QUARN, "-f", export, "-o", "-"], base, nobody)
        with open(export, "rb") as f:
            written = f.read()
        if copied[1] != written or copied[0] != walk_status:
            return options, "-f F -o -: status %s, %s the export" % (
                copied[0], "the same as" if copied[1] == written else "not byte for byte")
    walked = run([QUARN] + report + walk_options + [target], base, nobody)
    read = run([QUARN] + report + ["-f", export], base, nobody)
    if read[0] != walked[0]:
        return options, "-f: status %s, the walk's %s; stderr %r" % (read[0], walked[0], read[2][-300:])
    if read[1] != walked[1]:
        at = next((i for i, (a, b) in enumerate(zip(walked[1], read[1])) if a != b),
                  min(len(walked[1]), len(read[1])))
        return options, "-f: report differs from the walk's at byte %d:\n    walk   %r\n    export %r" % (
            at, walked[1][max(0, at - 120):at + 120], read[1][max(0, at - 120):at + 120])
    return None


def add_name(rng, root, folder, earlier=None):
    """A new name in folder (relative), none of whose siblings shows alike,
    nor another name the folder held in earlier (shown name -> name by
    folder: the tree an earlier scan saw); None if none was found."""
    path = root + b"/" + folder if folder else root
    siblings = {shown(n) for n in os.listdir(path)}
    held = (earlier or {}).get(folder, {})
    for _ in range(5):
        name = random_name(rng)
        if name not in (b".", b"..") and shown(name) not in siblings and held.get(shown(name), name) == name:
            return folder + b"/" + name if folder else name
    return None


def change_tree(rng, root):
    """Random changes to the tree below root, made as root. A name added
    never shows as another name of its folder before the changes did: the
    comparison is checked by shown paths, and would take the two for one."""
    earlier = {}
    for top, dirs, names in os.walk(root):
        rel = os.path.relpath(top, root) if top != root else b""
        earlier[rel] = {shown(n): n for n in dirs + names}
    for _ in range(rng.randint(1, 12)):
        folders, files = [b""], []
        for top, dirs, names in os.walk(root):
            rel = os.path.relpath(top, root) if top != root else b""
            folders += [rel + b"/" + d if rel else d for d in dirs if not os.path.islink(top + b"/" + d)]
            files += [rel + b"/" + n if rel else n for n in names if os.path.isfile(top + b"/" + n)
                      and not os.path.islink(top + b"/" + n)]
        r = rng.random()
        if r < 0.3 and files:
            with open(root + b"/" + rng.choice(files), "wb") as f:
                f.write(b"y" * rng.choice((0, 1, 100, 4096, 5000, 70000, 300000)))
        elif r < 0.45 and files:
            os.unlink(root + b"/" + rng.choice(files))
        elif r < 0.6 and files:
            rel = add_name(rng, root, rng.choice(folders), earlier)
            if rel:
                os.link(root + b"/" + rng.choice(files), root + b"/" + rel)
        elif r < 0.7 and len(folders) > 1:
            shutil.rmtree(root + b"/" + rng.choice(folders[1:]))
        else:
            rel = add_name(rng, root, rng.choice(folders), earlier)
            if not rel:
                continue
            if rng.random() < 0.3:
                os.mkdir(root + b"/" + rel)
                rel = add_name(rng, root, rel, earlier) or rel + b"/x"
            with open(root + b"/" + rel, "wb") as f:
                f.write(b"z" * rng.choice((1, 4096, 70000)))


def compare_diff(rng, base):
    """quarn -o OLD, random changes, then quarn --diff=OLD against du -a
    before and after: None, or (options, what differs)."""
    apparent, nobody = rng.random() < 0.4, rng.random() < 0.3
    measure = ["--apparent-size"] if apparent else []
    threads = rng.choice(([], ["-t", "1"], ["-t", "2"], ["-t", "8"], ["-t", "32"]))
    old, now = base + b"/out/old.json", base + b"/out/now.json"
    for export in (old, now):
        if os.path.exists(export):
            os.unlink(export)
    options = "--diff: %s%s" % (" ".join(measure + threads), " (as nobody)" if nobody else "")

    def du():
        done = run(["du", "-a", "-0", "-b" if apparent else "-B1", "t"], base, nobody)
        sizes = {}
        for line in done[1].split(b"\0")[:-1]:
            size, _, path = line.partition(b"\t")
            sizes[shown(path)] = int(size)
        return done[0], sizes

    saved = run([QUARN, "-o", old] + measure + threads + ["t"], base, nobody)
    status_before, before = du()
    if saved[0] != status_before:
        return options, "-o: status %s, du's %s" % (saved[0], status_before)
    change_tree(rng, base + b"/t")
    status_after, after = du()
    got = run([QUARN, "--diff=" + old.decode(), "-j", "-b", "-n", "100000000"] + measure + threads + ["t"],
              base, nobody)
    if got[0] != max(status_before, status_after):
        return options, "status %s, du's %s then %s; stderr %r" % (got[0], status_before, status_after,
                                                                  got[2][-300:])
    try:
        report = json.loads(got[1])
    except ValueError:
        return options, "no JSON comparison: %r" % got[1][:300]
    rows = []

    def walk(node):
        rows.append(node)
        for child in node.get("children", []):
            walk(child)

    walk(report)
    names = set()
    for node in rows:
        name = node["name"]
        names.add(name)
        if node["size"] != after.get(name, 0) or node["old"] != before.get(name, 0):
            return options, "%r: quarn %d, was %d; du %d, was %d" % (
                name, node["size"], node["old"], after.get(name, 0), before.get(name, 0))
        if node["change"] != node["size"] - node["old"]:
            return options, "%r: change %d from %d to %d" % (name, node["change"], node["old"], node["size"])
    changed = sorted(n for n in set(before) | set(after) if before.get(n, 0) != after.get(n, 0))
    missing = [n for n in changed if n not in names]
    if missing:
        return options, "%d changed entries not shown, the first %r (du %d, was %d)" % (
            len(missing), missing[0], after.get(missing[0], 0), before.get(missing[0], 0))
    text = run([QUARN, "--diff=" + old.decode()] + measure + threads + ["t"], base, nobody)
    history = run([QUARN, "--diff=" + old.decode(), "-o", now] + measure + threads + ["t"], base, nobody)
    if history[:2] != text[:2]:
        return options, "-o NEW: status %s, stdout %r; without -o %s, %r" % (
            history[0], history[1][:300], text[0], text[1][:300])
    read = run([QUARN, "--diff=" + old.decode(), "-f", now] + measure, base, nobody)
    if read[1] != text[1]:
        return options, "-f NEW: %r; the walk's %r" % (read[1][:300], text[1][:300])
    return None


def main():
    os.umask(0o022)  # the tree must be readable by nobody
    seed = int(os.environ.get("QUARN_SEED") or random.randrange(1 << 32))
    print("fuzz: seed %d (replay: QUARN_SEED=%d)" % (seed, seed), flush=True)
    started, trees, sets, failed = time.monotonic(), 0, 0, []
    while (time.monotonic() - started < SOAK_S) if SOAK_S else trees < TREES:
        rng = random.Random(seed)
        base = tempfile.mkdtemp(prefix="quarn-fuzz-").encode()
        os.chmod(base, 0o755)
        os.mkdir(base + b"/t")
        os.mkdir(base + b"/out")
        os.chmod(base + b"/out", 0o777)  # where nobody writes its export
        entries = build(rng, base + b"/t")
        problem = None
        for _ in range(3):
            sets += 1
            problem = compare(rng, base, entries)
            if problem:
                break
        if not problem:
            problem = compare_diff(rng, base)
        if problem:
            failed.append(seed)
            kept = SOAK_S and len(failed) <= 20
            print("FAIL seed %d: quarn %s\n  first differing row: %s%s" % (
                seed, problem[0], problem[1], "\n  tree kept at %s" % base.decode() if kept else ""), flush=True)
        if not (problem and kept):
            shutil.rmtree(base)
        trees += 1
        seed = (seed + 1) % (1 << 32)
    print("fuzz: %d trees, %d option sets, %d failing seeds%s" % (
        trees, sets, len(failed), ": " + " ".join(map(str, failed)) if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
