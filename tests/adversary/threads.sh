#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Every thread adding folders at once: quarn walks a tree of 16,000 folders,
# so the store of folder records grows through several chunks while the
# other threads list, with several thread counts, an export, two paths and
# few descriptors.
# Each run must end with status 0 and du's total. Built with
# -DQUARN_SANITIZE_THREADS=ON, ThreadSanitizer turns a data race into a
# report and exit status 66.
#   threads.sh QUARN        (QUARN_BIN overrides QUARN)
#   QUARN_SOAK_S=T          go on for T seconds
set -euo pipefail
quarn=${QUARN_BIN:-$1}
soak=${QUARN_SOAK_S:-0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree

# 40 folders of 400 folders, a 5,000-byte file in each of the 40 and a
# second name of one of them in another.
mkdir -p "$tree"/d{00..39}/s{000..399}
for folder in "$tree"/d*; do head -c 5000 /dev/zero >"$folder/file"; done
ln "$tree/d00/file" "$tree/d01/link"
total=$(du -s -B1 "$tree" | cut -f1)
half=$(du -s -B1 "$tree/d00" | cut -f1)

# check NAME EXPECTED COMMAND...: COMMAND must exit 0 and print EXPECTED
# first on its first line.
check() {
  local name=$1 expected=$2 got status=0
  shift 2
  got=$("$@" 2>"$work/stderr") || status=$?
  if [ "$status" != 0 ] || [ "${got%% *}" != "$expected" ]; then
    echo "threads: $name: status $status, printed '${got%%$'\n'*}', expected $expected"
    cat "$work/stderr"
    exit 1
  fi
}

start=$SECONDS
round=0
while :; do
  for threads in "" -t2 -t8 -t32; do
    check "quarn -s -b $threads" "$total" "$quarn" -s -b $threads "$tree"
  done
  check "quarn -s -b -c, a path inside another" "$total" \
    sh -c '"$1" -s -b -c "$2/d00" "$2" | tail -n 1' sh "$quarn" "$tree"
  check "quarn -o, then -f" "$total" \
    sh -c '"$1" -o "$3" -t 8 "$2" && "$1" -s -b -f "$3"' sh "$quarn" "$tree" "$work/export.json"
  check "quarn -s -b on one folder" "$half" "$quarn" -s -b -t 8 "$tree/d00"
  # Few descriptors: the pool runs dry, workers walk what they find through
  # their own cursor and lend it to those left idle.
  check "quarn -s -b -t 8 under ulimit -n 40" "$total" \
    sh -c 'ulimit -n 40 && exec "$1" -s -b -t 8 "$2"' sh "$quarn" "$tree"
  round=$((round + 1))
  [ $((SECONDS - start)) -lt "$soak" ] || break
done
echo "threads: $round rounds on $(find "$tree" -type d | wc -l) folders, every total $total as du"
