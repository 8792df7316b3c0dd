#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""quarn where every call waits, checked by counting threads, never by timing.

  waits.py QUARN SLOWFS

On a FUSE mirror whose every call waits (slowfs), the walkers must grow past
one per processor, and the report must be the mirrored tree's; on the same
tree, local and in the cache, they must stay at one per processor. A signal
while a walker is held in a stalled request must end every other thread
before that request is answered: nothing more on standard output, nothing on
the terminal but the progress line's clearing, and the signal's status;
without one, the folders the held walker found must be walked meanwhile.
Exit status 77: FUSE cannot be mounted here."""

import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile

QUARN, SLOWFS = sys.argv[1], sys.argv[2]
PROCESSORS = len(os.sched_getaffinity(0))
# Threads beside the walkers: the scheduler's watch and the signals' taker.
HELPERS = 2


def skip(reason):
    print("skipped: " + reason)
    sys.exit(77)


def make_tree(root, folders, files):
    for d in range(folders):
        sub = os.path.join(root, "d%03d" % d, "e")
        os.makedirs(sub)
        for f in range(files):
            with open(os.path.join(sub if f % 2 else os.path.dirname(sub), "f%d" % f), "wb") as out:
                out.write(b"x" * (f * 1000))


def mount(mirror, mountpoint, *options):
    """Starts slowfs in the foreground; returns the process once mounted."""
    os.makedirs(mountpoint, exist_ok=True)
    fs = subprocess.Popen([SLOWFS, "--mirror=" + mirror, *options, mountpoint, "-f"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    while not os.path.ismount(mountpoint):
        if fs.poll() is not None:
            skip("slowfs could not mount (no /dev/fuse or no permission)")
        select.select([], [], [], 0.01)
    return fs


def unmount(fs, mountpoint):
    subprocess.run(["fusermount3", "-u", "-z", mountpoint], stderr=subprocess.DEVNULL)
    fs.wait()


def most_threads(args):
    """Runs quarn; returns its output and the most threads seen in it."""
    run = subprocess.Popen([QUARN, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    most = 0
    while run.poll() is None:
        try:
            most = max(most, len(os.listdir("/proc/%d/task" % run.pid)))
        except FileNotFoundError:
            break
    out, err = run.communicate()
    return run.returncode, out.decode(), err.decode(), most


failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)


def thread_counts(work):
    tree = os.path.join(work, "tree")
    make_tree(tree, 60, 8)
    local = most_threads([tree])
    local = most_threads([tree])  # in the cache now
    check(local[0] == 0 and local[3] <= PROCESSORS + HELPERS,
          "local tree in the cache: %d threads seen, more than one walker per processor" % local[3])
    mountpoint = os.path.join(work, "mnt")
    fs = mount(tree, mountpoint, "--delay-us=3000")
    try:
        waited = most_threads([mountpoint])
    finally:
        unmount(fs, mountpoint)
    check(waited[0] == 0 and waited[3] > PROCESSORS + HELPERS,
          "every call waiting: %d threads seen, the walkers did not grow" % waited[3])
    check(waited[1].replace(mountpoint, tree) == local[1],
          "every call waiting: the report differs from the mirrored tree's")


def live_threads(pid):
    """Threads of pid not yet ended: whichever walker the stall holds, the
    main thread, ended before it, stays listed as a zombie until it ends."""
    live = 0
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except FileNotFoundError:
        return 0
    for task in tasks:
        try:
            with open("/proc/%d/task/%s/stat" % (pid, task)) as stat:
                state = stat.read().rpartition(")")[2].split()[0]
        except (FileNotFoundError, ProcessLookupError, IndexError):
            continue
        live += state not in ("Z", "X")
    return live


def cleared(shown):
    """Whether what the terminal got after the signal leaves its line blank
    and writes no line: a drawing under way as the signal came may arrive
    after the last read before it, but then its clearing follows."""
    line = bytearray()
    column = 0
    for byte in shown:
        if byte == ord("\n"):
            return False
        if byte == ord("\r"):
            column = 0
            continue
        if column < len(line):
            line[column] = byte
        else:
            line.append(byte)
        column += 1
    return line.strip(b" ") == b""


def read_all(fd):
    text = b""
    while True:
        try:
            part = os.read(fd, 65536)
        except OSError:
            return text
        if not part:
            return text
        text += part


def stalled_signal(work, signum, terminal):
    """A signal while the main walker's listing is held by the file system."""
    tree = os.path.join(work, "tree")
    mountpoint = os.path.join(work, "stall")
    # The stalled folder is listed last in the root; the other folders keep
    # the other walkers busy.
    fs = mount(tree, mountpoint, "--delay-us=2000", "--stall=zstall,6")
    name = signal.Signals(signum).name
    try:
        leader, follower = pty.openpty() if terminal else (None, None)
        run = subprocess.Popen([QUARN, mountpoint], stdout=subprocess.PIPE,
                               stderr=follower if terminal else subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL, start_new_session=True,
                               preexec_fn=lambda: signal.signal(signum, signal.SIG_DFL))
        if follower is not None:
            os.close(follower)
        check(fs.stdout.readline().strip() == "stalled", name + ": the stall was not reached")
        # Whatever the terminal got before the signal.
        while leader is not None and select.select([leader], [], [], 0)[0]:
            os.read(leader, 65536)
        run.send_signal(signum)
        # Every thread but the one held must end before the reply.
        ended = False
        while not ended and not select.select([fs.stdout], [], [], 0.001)[0]:
            ended = live_threads(run.pid) <= 1
        check(ended, name + ": walkers went on while one was held in a request")
        check(fs.stdout.readline().startswith("answered"), name + ": the stall did not end")
        out, _ = run.communicate()
        check(run.returncode == -signum, "%s: status %d, not the signal's" % (name, run.returncode))
        check(out == b"", name + ": a report was written after the signal")
        if leader is not None:
            shown = read_all(leader)
            os.close(leader)
            check(cleared(shown), name + ": the terminal got %r after the signal" % shown[:80])
    finally:
        unmount(fs, mountpoint)


def stalled_siblings(work):
    """A walker held in a stalled listing must not hold back the folders it
    found: the others walk them all before the stall is answered."""
    tree = os.path.join(work, "tree")
    mountpoint = os.path.join(work, "stall")
    fs = mount(tree, mountpoint, "--delay-us=2000", "--stall=zstall,6")
    try:
        # Two walkers, none added: the other one is idle once its first
        # folders are walked, and the held one has not let go of the rest.
        run = subprocess.Popen([QUARN, "-t", "2", mountpoint], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        check(fs.stdout.readline().strip() == "stalled", "siblings: the stall was not reached")
        answer = fs.stdout.readline().strip()
        folders = sum(1 for _ in os.walk(tree))
        check(answer == "answered after %d listings" % folders,
              "siblings: %r, not all %d other folders listed while one stalled" % (answer, folders))
        check(run.wait() == 0, "siblings: status %d" % run.returncode)
    finally:
        unmount(fs, mountpoint)


def main():
    if not os.path.exists("/dev/fuse") or shutil.which("fusermount3") is None:
        skip("no /dev/fuse or fusermount3")
    work = tempfile.mkdtemp(prefix="quarn-waits-")
    try:
        thread_counts(work)
        stalled_siblings(work)
        for signum, terminal in ((signal.SIGINT, True), (signal.SIGTERM, True), (signal.SIGHUP, False)):
            stalled_signal(work, signum, terminal)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        sys.exit(1)
    print("ok: walkers grow while calls wait, one per processor in the cache; signals end the walk at once")


main()
