#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# quarn against hostilefs, a FUSE file system that lies: for each of its
# cases, quarn and du on the same folder must agree, every run bounded.
#   hostilefs.sh QUARN HOSTILEFS
# QUARN_BIN overrides QUARN; QUARN_SEED replays a tree; QUARN_SOAK_S=N keeps
# mounting new trees for N seconds; QUARN_CASE_TIMEOUT bounds each run
# (default 10 s). Exit status 77 (skipped) where FUSE cannot mount.
set -uo pipefail
quarn=${QUARN_BIN:-$1}
fs=$2
limit=${QUARN_CASE_TIMEOUT:-10}
seed=${QUARN_SEED:-$(((RANDOM << 15 | RANDOM) + 1))}
export LC_ALL=C.UTF-8

# Checks: list = same status and the same sizes of the same entries as
# du -a (so the total, every name and every hard link where du counts it);
# status = the same exit status;
# sane = status 0 or 1 (du itself aborts on a listing that lies about types).
# Every case but the sane ones is also exported (-o F, the same threads):
# the export must end with the walk's status and print nothing, and its
# report (-f F) must be the walk's, byte for byte (errors' reasons too), with
# the walk's status.
cases=(
    # name        folder       check
    "cycle-top    cycle/loop   status"
    "cycle-below  cycle        status"
    "long-names   long         list"
    "stat-fails   vanish       list"
    "hard-links   links        list"
    "retype       retype       sane"
    "flip         flip         sane"
    "eio-halfway  eio          list"
    "slow         slow         list"
    "blocks       blocks       list"
)
variants=("" "-t 1")

skip() {
    echo "SKIP: $*"
    exit 77
}
[ -c /dev/fuse ] || skip "no /dev/fuse: FUSE is not available here"
command -v fusermount3 >/dev/null || skip "fusermount3 is missing (Debian package fuse3)"

work=$(mktemp -d)
mnt=$work/mnt
mkdir "$mnt"
fspid=
unmount() {
    [ -n "$fspid" ] || return 0
    fusermount3 -u -z "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null
    kill "$fspid" 2>/dev/null
    wait "$fspid" 2>/dev/null
    fspid=
}
trap 'unmount; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

mountSeed() {
    # auto_unmount: the mount goes with the file system's process, however it ends.
    "$fs" --seed="$1" "$mnt" -f -o auto_unmount 2>"$work/fs.err" &
    fspid=$!
    for _ in $(seq 100); do
        mountpoint -q "$mnt" && return 0
        kill -0 "$fspid" 2>/dev/null || break
        sleep 0.05
    done
    skip "cannot mount a FUSE file system here: $(head -c 300 "$work/fs.err")"
}

# The entries quarn reports, as du -a prints them: "SIZE<TAB>PATH", sorted.
quarnList() {
    grep -o '"name":"[^"]*","size":"[0-9]*"' "$1" | sed 's/^"name":"\(.*\)","size":"\([0-9]*\)"$/\2\t\1/' |
        LC_ALL=C sort
}

# The size on the target's line of such a list.
totalOf() { awk -F '\t' -v path="$path" '$2 == path { print $1 }'; }

failures=0
flat() { head -c 300 "$1" | tr '\n' ' '; }
fail() {
    echo "FAIL $name (quarn${variant:+ $variant}) seed $seed: $*"
    echo "  replay: QUARN_SEED=$seed $0 $quarn $fs"
    failures=$((failures + 1))
}

runCase() {
    local path=$mnt/$folder qs ds
    timeout -k 2 "$limit" "$quarn" $variant -j -b -n 100000 "$path" >"$work/q.out" 2>"$work/q.err"
    qs=$?
    if [ "$qs" -eq 124 ] || [ "$qs" -eq 137 ]; then
        fail "no result within $limit s (hang)"
        return
    elif [ "$qs" -gt 2 ]; then
        fail "exit status $qs (signal $((qs - 128))): $(flat "$work/q.err")"
        return
    fi
    [ "$check" = sane ] && { [ "$qs" -le 1 ] || fail "exit status $qs"; } && return
    timeout -k 2 "$limit" du -a -B1 "$path" 2>"$work/d.err" | LC_ALL=C sort >"$work/d.out"
    ds=${PIPESTATUS[0]}
    if [ "$qs" != "$ds" ]; then
        fail "exit status $qs, du's $ds; quarn: $(flat "$work/q.err"); du: $(flat "$work/d.err")"
    elif [ "$check" = list ] && ! quarnList "$work/q.out" | cmp -s - "$work/d.out"; then
        fail "entries differ from du -a (< quarn, > du):"
        diff <(quarnList "$work/q.out") "$work/d.out" | head -n 6 | cut -c 1-200 | sed 's/^/  /'
    fi
    exportCase "$qs"
}

# exportCase STATUS: the walk again through -o and -f, against the walk's
# report in q.out and its STATUS.
exportCase() {
    local es is
    rm -f "$work/export.json"
    timeout -k 2 "$limit" "$quarn" $variant -o "$work/export.json" "$path" >"$work/e.out" 2>"$work/e.err"
    es=$?
    if [ "$es" != "$1" ] || [ -s "$work/e.out" ]; then
        fail "-o: exit status $es, the walk's $1; stdout: $(flat "$work/e.out"); stderr: $(flat "$work/e.err")"
        return
    fi
    timeout -k 2 "$limit" "$quarn" -j -b -n 100000 -f "$work/export.json" >"$work/f.out" 2>"$work/f.err"
    is=$?
    if [ "$is" != "$1" ]; then
        fail "-f of the export: exit status $is, the walk's $1; stderr: $(flat "$work/f.err")"
    elif ! cmp -s "$work/f.out" "$work/q.out"; then
        fail "-f of the export: the report differs from the walk's (< walk, > export):"
        diff <(quarnList "$work/q.out") <(quarnList "$work/f.out") | head -n 6 | cut -c 1-200 | sed 's/^/  /'
    fi
}

echo "hostilefs: seed $seed (replay with QUARN_SEED=$seed), quarn $quarn"
end=$((SECONDS + ${QUARN_SOAK_S:-0}))
while :; do
    mountSeed "$seed"
    for row in "${cases[@]}"; do
        read -r name folder check <<<"$row"
        for variant in "${variants[@]}"; do
            runCase
        done
    done
    unmount
    [ "$failures" -eq 0 ] && [ "$SECONDS" -lt "$end" ] || break
    seed=$((seed + 1))
    echo "hostilefs: seed $seed"
done
[ "$failures" -eq 0 ] && echo "hostilefs: every case agrees with du, every export with its walk" && exit 0
echo "hostilefs: $failures failure(s)"
exit 1
