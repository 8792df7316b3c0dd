#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Every thread adding folders at once: quarn walks a tree of 16,000 folders,
# so the store of folder records grows through several chunks while the
# other threads list, with several thread counts, an export and its report,
# two paths and few descriptors. 40 files each have a second name in the
# next top folder, so where each counts depends on the order the root lists
# its folders in.
# Each run must end with status 0 and list every entry with du -a -B1's size
# (so every hard link where du counts it: its first name in a depth-first
# walk in listing order), or print the same whole report as the same run
# with one thread, or as the walk that wrote the export it reads.
# Built with -DQUARN_SANITIZE_THREADS=ON, ThreadSanitizer turns a data race
# into a report and exit status 66.
#   threads.sh QUARN        (QUARN_BIN overrides QUARN)
#   QUARN_SOAK_S=T          go on for T seconds
set -euo pipefail
quarn=${QUARN_BIN:-$1}
soak=${QUARN_SOAK_S:-0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
export LC_ALL=C.UTF-8

# 40 folders of 400 folders, a 5,000-byte file in each of the 40 and a
# second name of it in a subfolder of the next one.
mkdir -p "$tree"/d{00..39}/s{000..399}
for folder in "$tree"/d*; do head -c 5000 /dev/zero >"$folder/file"; done
for i in $(seq 0 39); do
  ln "$tree/d$(printf %02d "$i")/file" "$tree/d$(printf %02d $(((i + 1) % 40)))/s000/link"
done
du -a -B1 "$tree" | LC_ALL=C sort >"$work/du.list"
total=$(du -s -B1 "$tree" | cut -f1)

# The entries of a JSON report, as du -a prints them: "SIZE<TAB>PATH", sorted.
listOf() {
  grep -o '"name":"[^"]*","size":"[0-9]*"' "$1" | sed 's/^"name":"\(.*\)","size":"\([0-9]*\)"$/\2\t\1/' |
    LC_ALL=C sort
}

fail() {
  echo "threads: round $round: $*"
  cat "$work/stderr"
  exit 1
}

# run NAME COMMAND...: COMMAND's stdout in $work/out; it must exit 0 with
# nothing on stderr.
run() {
  local name=$1 status=0
  shift
  "$@" >"$work/out" 2>"$work/stderr" || status=$?
  [ "$status" = 0 ] && [ ! -s "$work/stderr" ] || fail "$name: status $status"
}

# asDu NAME COMMAND...: COMMAND's JSON report must list du -a's entries.
asDu() {
  local name=$1
  run "$@"
  listOf "$work/out" >"$work/quarn.list"
  cmp -s "$work/quarn.list" "$work/du.list" ||
    fail "$name: entries differ from du -a -B1 (< quarn, > du):
$(diff "$work/quarn.list" "$work/du.list" | head -n 8)"
}

# same NAME REFERENCE COMMAND...: COMMAND must print REFERENCE's whole report.
same() {
  local name=$1 reference=$2
  shift 2
  run "$name" "$@"
  cmp -s "$work/out" "$reference" ||
    fail "$name: report differs from the reference's:
$(diff "$reference" "$work/out" | head -n 8)"
}

start=$SECONDS
round=0
while :; do
  for threads in -t1 -t2 -t8 -t32 ""; do
    asDu "quarn -j -b -n 100000 $threads" "$quarn" -j -b -n 100000 $threads "$tree"
  done
  run "quarn -b -n 60 -t1" "$quarn" -b -n 60 -t1 "$tree"
  cp "$work/out" "$work/text.ref"
  for threads in -t2 -t8 -t32; do
    same "quarn -b -n 60 $threads" "$work/text.ref" "$quarn" -b -n 60 $threads "$tree"
  done
  run "quarn -s -b -c -t1, a path inside another" "$quarn" -s -b -c -t1 "$tree/d00" "$tree"
  cp "$work/out" "$work/paths.ref"
  [ "$(awk '{print $1}' "$work/paths.ref" | tr '\n' ' ')" = "$(du -s -c -B1 "$tree/d00" "$tree" | cut -f 1 | tr '\n' ' ')" ] ||
    fail "quarn -s -b -c, a path inside another: $(tr '\n' ' ' <"$work/paths.ref"), du: $(du -s -c -B1 "$tree/d00" "$tree" | tr '\n\t' '  ')"
  same "quarn -s -b -c -t 8, a path inside another" "$work/paths.ref" "$quarn" -s -b -c -t 8 "$tree/d00" "$tree"
  # The export's report: the walk's own for each report option.
  run "quarn -o F -t 8" "$quarn" -o "$work/export.json" -t 8 "$tree"
  [ ! -s "$work/out" ] || fail "quarn -o F printed a report"
  asDu "quarn -j -b -n 100000 -f F" "$quarn" -j -b -n 100000 -f "$work/export.json"
  for options in "-b -n 60" "-s -c" "-d 1 -n 30" "-j --apparent-size" "--inodes -n 5"; do
    run "quarn $options -t 8" "$quarn" $options -t 8 "$tree"
    cp "$work/out" "$work/walk.ref"
    same "quarn $options -f F" "$work/walk.ref" "$quarn" $options -f "$work/export.json"
  done
  # Few descriptors: the pool runs dry, workers walk what they find through
  # their own cursor and lend it to those left idle.
  asDu "quarn -j -b -n 100000 -t 8 under ulimit -n 40" \
    sh -c 'ulimit -n 40 && exec "$1" -j -b -n 100000 -t 8 "$2"' sh "$quarn" "$tree"
  round=$((round + 1))
  [ $((SECONDS - start)) -lt "$soak" ] || break
done
echo "threads: $round rounds on $(find "$tree" -type d | wc -l) folders, every report du's ($total bytes) or the walk's own"
