#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""quarn under tight resource limits and failing allocations, and its
export (-o FILE) under them and under every failure around it.

Every run must end by itself, without a signal: either status 0 with du's
total and the whole report of the walk without limits, or status 1 or 2 with error lines `quarn: ...` on stderr (exactly one
for an injected allocation failure). Limits: address space, descriptors,
stack and processes (as nobody), each with one, the default and 1024
threads, stderr a file and a pseudo-terminal; with at least 5 descriptors
the walk must succeed. Allocations: the shim given as second argument fails
the N-th one after main starts.
Exports: -o FILE over an earlier export (mode 0640) under each descriptor
limit, with each allocation failing, with TMPDIR missing or on a full
file system, with FILE's own file system full, with SIGTERM, SIGINT or
SIGHUP raised while the walk lists a folder or as the export is flushed
(strace injects them at those calls, so the order is the program's own).
An export that ends with status 0 must give the walk's report (-f FILE);
one that fails must leave FILE byte for byte as it was, with its mode, say
why in one line naming what it failed on, and leave nothing beside FILE.

  limits.py QUARN SHIM   (QUARN_BIN overrides QUARN)
  QUARN_SEED=S     replays one tree; QUARN_SOAK_S=T repeats with new trees
                   and every N for T seconds; QUARN_SANITIZED=1 keeps only
                   the descriptor rows (the sanitizers' runtime needs the
                   rest) and skips the shim (it must come first itself).
"""

import json
import os
import stat
import pty
import random
import re
import resource
import select
import signal
import shutil
import subprocess
import sys
import tempfile
import threading
import time

QUARN = os.environ.get("QUARN_BIN") or sys.argv[1]
SHIM = sys.argv[2]
SANITIZED = os.environ.get("QUARN_SANITIZED") == "1"
SOAK_S = float(os.environ.get("QUARN_SOAK_S", "0"))
NOBODY = 65534
not_started = []  # runs the system could not start: no quarn code ran
KIB = 1024

# (option, resource, limits, run as nobody)
LIMITS = [
    ("-v", resource.RLIMIT_AS, [k * KIB for k in (4096, 8192, 12288, 16384, 24576, 32768, 65536, 131072, 262144)], False),
    ("-n", resource.RLIMIT_NOFILE, [5, 6, 7, 8, 9, 10, 12, 16, 32, 64], False),
    ("-n", resource.RLIMIT_NOFILE, [5, 6, 7, 8, 10, 16], True),
    ("-s", resource.RLIMIT_STACK, [k * KIB for k in (128, 192, 256, 512, 1024)], False),
    ("-u", resource.RLIMIT_NPROC, [1, 2], True),
]
THREADS = [["-t", "1"], [], ["-t", "128"], ["-t", "1024"]]
REPORT = ["-j", "-b", "-n", "3"]


def build_tree(rng, root):
    """A few thousand entries: folders up to 6 deep, files, hard links."""
    folders, files = [root], []
    for i in range(rng.randint(150, 400)):
        parent = rng.choice(folders)
        path = os.path.join(parent, "d%d" % i)
        if parent.count("/") - root.count("/") < 6:
            os.mkdir(path)
            folders.append(path)
        for j in range(rng.randint(0, 8)):
            name = os.path.join(rng.choice(folders), "f%d_%d" % (i, j))
            if files and rng.random() < 0.05:
                os.link(rng.choice(files), name)
            else:
                with open(name, "wb") as f:
                    f.write(b"x" * rng.choice((0, 10, 5000, 70000)))
                files.append(name)
    for path in folders:
        os.chmod(path, 0o755)


def run(command, limit=None, nobody=False, tty=False, env=None):
    """(status, stdout, stderr), status -signal on a signal death, None on a hang."""

    def child():
        for number in (signal.SIGINT, signal.SIGHUP, signal.SIGTERM):
            signal.signal(number, signal.SIG_DFL)  # a background job's shell may ignore them
        if limit:
            resource.setrlimit(limit[0], (limit[1], limit[1]))
        if nobody:
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)

    master = slave = None
    if tty:
        master, slave = pty.openpty()
    try:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=slave if tty else subprocess.PIPE, preexec_fn=child,
                                   env=env, close_fds=True)
    except OSError as error:  # e.g. EAGAIN: nobody already runs processes elsewhere
        return "exec: %s" % error, b"", b""
    if tty:
        os.close(slave)
    err_fd = master if tty else process.stderr.fileno()
    texts = {process.stdout.fileno(): b"", err_fd: b""}
    open_fds = set(texts)
    deadline = time.monotonic() + 60
    while open_fds and time.monotonic() < deadline:
        for fd in select.select(list(open_fds), [], [], 1)[0]:
            try:
                data = os.read(fd, 65536)
            except OSError:  # EIO: the terminal's last writer is gone
                data = b""
            texts[fd] += data
            if not data:
                open_fds.discard(fd)
    hung = bool(open_fds)
    if hung:
        process.kill()
    status = process.wait()
    out, err = texts[process.stdout.fileno()], texts[err_fd]
    process.stdout.close()
    os.close(master) if tty else process.stderr.close()
    return (None if hung else status), out, err


def error_lines(err):
    """stderr's lines as a terminal would leave them: progress redraws and
    escape sequences dropped."""
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", err).replace(b"\r\n", b"\n")
    return [line.split(b"\r")[-1] for line in text.split(b"\n") if line.split(b"\r")[-1].strip()]


def verdict(result, total, reference, one_line=False):
    """None when the run kept the promises (status 0: du's total and the
    whole report of the walk without limits), else what went wrong."""
    status, out, err = result
    if isinstance(status, str) or (status == 127 and b"error while loading shared libraries" in err):
        not_started.append(status)  # the fork failed, or the loader could not map the libraries
        return None
    if status is None:
        return "hung"
    if status < 0:
        return "killed by signal %d; stderr %r" % (-status, err[-300:])
    lines = error_lines(err)
    if status == 0:
        try:
            got = int(json.loads(out)["size"])
        except (ValueError, KeyError) as error:
            return "status 0 but no report (%s): %r" % (error, out[:200])
        if got != total:
            return "total %d, du says %d" % (got, total)
        return None if out == reference else "report %r, without limits %r" % (out[:300], reference[:300])
    if status not in (1, 2):
        return "status %d; stderr %r" % (status, err[-300:])
    if not lines or any(not line.startswith(b"quarn: ") for line in lines):
        return "status %d with stderr %r" % (status, err[-300:])
    if one_line and len(lines) != 1:
        return "status %d with %d error lines: %r" % (status, len(lines), err[-300:])
    return None


def sweep(root, total, failures, export):
    runs = 0
    for option, which, values, nobody in LIMITS:
        if SANITIZED and which != resource.RLIMIT_NOFILE:
            continue
        for value in values:
            for threads in THREADS:
                for tty in (False, True):
                    if SANITIZED and which == resource.RLIMIT_NOFILE and value <= 6:
                        # quarn then holds every free descriptor, and UBSan's check of an
                        # object's type needs a pipe to read memory: it fails and reports
                        # an invalid vptr that is not there.
                        continue
                    command = [QUARN] + REPORT + threads + [root]
                    result = run(command, (which, value), nobody, tty)
                    problem = verdict(result, total, export.reference)
                    # The sanitizers' runtime may need descriptors of its own.
                    strict = which == resource.RLIMIT_NOFILE and not SANITIZED
                    if not problem and strict and result[0] not in (0, None) and not isinstance(result[0], str):
                        problem = "status %s with %d descriptors; stderr %r" % (result[0], value, result[2][-300:])
                    runs += 1
                    if not problem and which == resource.RLIMIT_NOFILE and not tty:
                        runs += 1
                        problem = export.check(threads, limit=(which, value), nobody=nobody, succeed=strict)
                        problem = problem and "-o FILE: " + problem
                    if problem:
                        failures.append("ulimit %s %s%s %s, stderr %s: %s" % (
                            option, value // KIB if which in (resource.RLIMIT_AS, resource.RLIMIT_STACK) else value,
                            " as nobody" if nobody else "", " ".join(threads) or "default threads",
                            "a terminal" if tty else "a pipe", problem))
    return runs


class Export:
    """quarn -o FILE over an earlier export, in a folder of its own: check()
    runs it and says what it broke, or None."""

    def __init__(self, root, reference):
        self.root, self.reference = root, reference  # the walk's report (REPORT), unlimited
        self.folder = tempfile.mkdtemp(prefix="quarn-limits-out-")
        os.chmod(self.folder, 0o777)  # runs as nobody write here too
        self.file = os.path.join(self.folder, "export.json")
        self.old = b'[1,2,{"progname":"quarn"},[{"name":"/an/earlier/walk","asize":4096,"dsize":4096}]]\n'

    def reset(self, nobody):
        for name in os.listdir(self.folder):
            os.unlink(os.path.join(self.folder, name))
        with open(self.file, "wb") as f:
            f.write(self.old)
        os.chmod(self.file, 0o640)
        if nobody:
            os.chown(self.file, NOBODY, NOBODY)

    def check(self, options, limit=None, nobody=False, env=None, wrap=(), succeed=False, fails=False,
              names=None, signal=None):
        """None, or what the run did wrong. succeed: status 0 is required;
        fails: a failure is; names: the one error line must name it;
        signal: the run may end by it, FILE then intact or complete."""
        self.reset(nobody)
        result = run(list(wrap) + [QUARN, "-o", self.file] + options + [self.root], limit, nobody, env=env)
        status, out, err = result
        if isinstance(status, str) or (status == 127 and b"error while loading shared libraries" in err):
            not_started.append(status)
            return None
        if status is None:
            return "-o: hung"
        left = sorted(set(os.listdir(self.folder)) - {"export.json"})
        if left:
            return "-o: status %s left %s beside FILE" % (status, left)
        if out:
            return "-o: status %s printed %r on stdout" % (status, out[:100])
        complete = None if status else self.complete()
        if signal is not None and status == -signal:
            return None if self.intact() is None or self.complete() is None else \
                "-o: killed by signal %d, FILE neither as it was nor a complete export: %s" % (signal, self.intact())
        if status == 0:
            if fails:
                return "-o: status 0 where it cannot succeed; stderr %r" % err[-300:]
            return complete
        if succeed:
            return "-o: status %s where the walk succeeds; stderr %r" % (status, err[-300:])
        if status < 0 or status not in (1, 2):
            return "-o: status %s; stderr %r" % (status, err[-300:])
        lines = error_lines(err)
        if len(lines) != 1 or not lines[0].startswith(b"quarn: "):
            return "-o: status %s with %d error lines: %r" % (status, len(lines), err[-300:])
        if self.intact():
            return "-o: status %s (%r): %s" % (status, lines[0], self.intact())
        if names and names.encode() not in lines[0]:
            return "-o: the error line does not name %s: %r" % (names, lines[0])
        return None

    def intact(self):
        with open(self.file, "rb") as f:
            now = f.read()
        mode = stat.S_IMODE(os.stat(self.file).st_mode)
        if now != self.old or mode != 0o640:
            return "FILE changed: %d bytes (%d before), mode %o: %r" % (len(now), len(self.old), mode, now[:80])
        return None

    def complete(self):
        """None when FILE is an export of the walk: -f gives its report."""
        got = run([QUARN] + REPORT + ["-f", self.file])
        if got[0] != 0 or got[1] != self.reference:
            mode = stat.S_IMODE(os.stat(self.file).st_mode)
            return "the export's report (status %s, mode %o): %r, the walk's %r; stderr %r" % (
                got[0], mode, got[1][:200], self.reference[:200], got[2][-200:])
        return None

    def remove(self):
        shutil.rmtree(self.folder)


def tiny_tmpfs(folder):
    """A 16 KiB tmpfs mounted on folder: True, or False where it cannot be (not root)."""
    if os.geteuid() != 0:
        return False
    return subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k,mode=1777", "tmpfs", folder],
                          capture_output=True).returncode == 0


def export_failures(export, failures):
    """-o around every failure it meets but resource limits; returns the runs."""
    runs = 0

    def row(name, problem):
        if problem:
            failures.append("-o FILE %s: %s" % (name, problem))

    row("with TMPDIR missing",
        export.check([], env=dict(os.environ, TMPDIR="/nonexistent/tmp"), names="/nonexistent/tmp"))
    full = tempfile.mkdtemp(prefix="quarn-limits-full-")
    if tiny_tmpfs(full):
        try:
            with open(os.path.join(full, "filler"), "wb") as f:
                try:
                    f.write(b"x" * (1 << 20))
                except OSError:
                    pass
            row("with TMPDIR on a full file system", export.check([], env=dict(os.environ, TMPDIR=full), names=full))
            os.unlink(os.path.join(full, "filler"))
            # FILE's own folder 16 KiB: the export cannot fit.
            saved = export.folder, export.file
            export.folder, export.file = full, os.path.join(full, "export.json")
            row("on a 16 KiB file system", export.check([], fails=True, names=full))
            export.folder, export.file = saved
            runs += 3
        finally:
            subprocess.run(["umount", full])
    else:
        print("limits: no tmpfs here (needs root): the full file system rows skipped")
        runs += 1
    os.rmdir(full)
    traced = subprocess.run(["strace", "-o", "/dev/null", "true"], capture_output=True).returncode == 0
    if not traced:
        print("limits: strace cannot trace here: the signal rows skipped")
        return runs
    # The leak checker cannot run under a tracer.
    untraced = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    for number, name in ((15, "SIGTERM"), (2, "SIGINT"), (1, "SIGHUP")):
        for call, when in (("getdents64", "3"), ("linkat", "1"), ("rename", "1")):
            for threads in (["-t", "1"], ["-t", "8"]):
                with SignalAtCall(call, when, number) as wrap:
                    problem = export.check(threads, wrap=wrap, env=untraced, signal=number)
                row("%s %s at %s %s" % (" ".join(threads), name, call, when), problem)
                runs += 1
    return runs


def all_threads_stopped(thread):
    """Whether every thread of the process that thread belongs to is stopped
    (by a signal, or by its tracer)."""
    try:
        tasks = os.listdir("/proc/%d/task" % thread)
        for task in tasks:
            with open("/proc/%d/task/%s/stat" % (thread, task), "rb") as f:
                if f.read().rsplit(b")", 1)[1].split()[0] not in (b"t", b"T"):
                    return False
        return bool(tasks)
    except (OSError, IndexError):
        return False


class SignalAtCall:
    """An strace wrapping that stops the run at the WHEN-th CALL (SIGSTOP,
    which holds every thread) and then sends it NUMBER as kill(1) does, to the
    process, not to the thread in the call, before letting it go on: the
    signal reaches the program at that point whichever thread takes it."""

    def __init__(self, call, when, number):
        self.folder = tempfile.mkdtemp()
        trace = os.path.join(self.folder, "trace")
        os.mkfifo(trace)
        # Opened before strace has a writer on it, so the open does not wait.
        self.fd = os.open(trace, os.O_RDONLY | os.O_NONBLOCK)
        self.number = number
        self.sent = False
        self.wrap = ["strace", "-f", "-o", trace, "-e", "trace=" + call, "-e",
                     "inject=%s:signal=SIGSTOP:when=%s" % (call, when)]
        self.thread = threading.Thread(target=self.signal_when_stopped)

    def signal_when_stopped(self):
        # Reads the trace to its end, so that strace never waits on it. A
        # SIGCONT that comes before strace has put every thread in its
        # listening stop is lost, and quarn stays stopped: SIGCONT goes again
        # once all its threads have stayed stopped for a second (sooner, it
        # could come while strace puts a thread in that stop, which then fails).
        text, deadline, stopped, still = b"", time.monotonic() + 90, 0, 0
        while time.monotonic() < deadline:
            if stopped:
                still = still + 1 if all_threads_stopped(stopped) else 0
                if still == 10:
                    os.kill(stopped, signal.SIGCONT)
                    still = 0
            if not select.select([self.fd], [], [], 0.1 if stopped else 1)[0]:
                continue
            chunk = os.read(self.fd, 4096)
            if not chunk:
                return
            text += chunk
            while b"\n" in text:
                line, text = text.split(b"\n", 1)
                # Every thread reports the stop: the first line is the one.
                if line.endswith(b"--- stopped by SIGSTOP ---") and not self.sent:
                    self.sent = True
                    stopped = int(line.split()[0])
                    os.kill(stopped, self.number)
                    os.kill(stopped, signal.SIGCONT)

    def __enter__(self):
        self.thread.start()
        return self.wrap

    def __exit__(self, *exc):
        self.thread.join()
        os.close(self.fd)
        shutil.rmtree(self.folder)


def inject(rng, root, total, failures, every, export):
    if SANITIZED:
        print("limits: allocation failures skipped: the sanitizers' runtime must be the first library loaded")
        return 0
    runs = 0
    for threads in (["-t", "1"], [], ["-o"]):
        if threads == ["-o"]:
            runs += inject_export(rng, export, failures, every)
            continue
        command = [QUARN] + REPORT + threads + [root]
        with tempfile.NamedTemporaryFile() as counted:
            env = dict(os.environ, LD_PRELOAD=SHIM, QUARN_FAIL_ALLOC="0", QUARN_ALLOC_COUNT=counted.name)
            problem = verdict(run(command, env=env), total, export.reference)
            count = int(open(counted.name).read() or 0)
        if problem or count == 0:
            failures.append("%s with the counting shim: %s" % (" ".join(threads) or "default threads",
                                                               problem or "no allocation counted"))
            continue
        picks = range(1, count + 2)
        if not every and count > 40:
            offset, step = rng.random(), count / 35
            picks = sorted({1, 2, 3, count, count + 1} | {1 + int((k + offset) * step) for k in range(35)})
        for n in picks:
            env = dict(os.environ, LD_PRELOAD=SHIM, QUARN_FAIL_ALLOC=str(n))
            problem = verdict(run(command, env=env), total, export.reference, one_line=True)
            runs += 1
            if problem:
                failures.append("allocation %d of %d failed, %s: %s" % (
                    n, count, " ".join(threads) or "default threads", problem))
    return runs


def inject_export(rng, export, failures, every):
    """-o FILE -t 1 with each allocation failing in turn."""
    with tempfile.NamedTemporaryFile() as counted:
        env = dict(os.environ, LD_PRELOAD=SHIM, QUARN_FAIL_ALLOC="0", QUARN_ALLOC_COUNT=counted.name)
        problem = export.check(["-t", "1"], env=env, succeed=True)
        count = int(open(counted.name).read() or 0)
    if problem or count == 0:
        failures.append("-o FILE -t 1 with the counting shim: %s" % (problem or "no allocation counted"))
        return 1
    picks = range(1, count + 2)
    if not every and count > 40:
        offset, step = rng.random(), count / 35
        picks = sorted({1, 2, 3, count, count + 1} | {1 + int((k + offset) * step) for k in range(35)})
    for n in picks:
        problem = export.check(["-t", "1"], env=dict(os.environ, LD_PRELOAD=SHIM, QUARN_FAIL_ALLOC=str(n)))
        if problem:
            failures.append("-o FILE -t 1, allocation %d of %d failed: %s" % (n, count, problem))
    return len(picks)


def main():
    os.umask(0o022)  # the tree must be readable by nobody
    seed = int(os.environ.get("QUARN_SEED") or random.randrange(1 << 32))
    print("limits: seed %d (replay: QUARN_SEED=%d)" % (seed, seed), flush=True)
    started = time.monotonic()
    while True:
        rng = random.Random(seed)
        root = tempfile.mkdtemp(prefix="quarn-limits-")
        os.chmod(root, 0o755)
        build_tree(rng, root)
        du = subprocess.run(["du", "-s", "-B1", root], capture_output=True, check=True)
        total = int(du.stdout.split(b"\t")[0])
        failures = []
        reference = run([QUARN] + REPORT + [root])[1]
        export = Export(root, reference)
        runs = sweep(root, total, failures, export) + export_failures(export, failures)
        runs += inject(rng, root, total, failures, SOAK_S > 0, export)
        export.remove()
        print("limits: seed %d, %d runs (%d could not start), %d failures" % (
            seed, runs, len(not_started), len(failures)), flush=True)
        not_started.clear()
        if failures:
            for line in failures[:200]:
                print("FAIL " + line)
            print("limits: FAILED with seed %d (replay: QUARN_SEED=%d)%s" % (
                seed, seed, ", tree kept at " + root if SOAK_S else ""))
            if not SOAK_S:
                shutil.rmtree(root)
            return 1
        shutil.rmtree(root)
        if time.monotonic() - started >= SOAK_S:
            return 0
        seed = (seed + 1) % (1 << 32)


if __name__ == "__main__":
    sys.exit(main())
