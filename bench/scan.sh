#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Benchmark of quarn against du, ncdu and gdu on three tree shapes.
#
#   bench/scan.sh [RUNS]
#
# QUARN_BENCH_TREE   folder of the trees (default: bench/tree; each built when missing):
#                    files    300,000 files of 0-16 KiB in 2,000 nested folders
#                    folders  300,000 empty folders (600 x 500)
#                    chain    one chain of 60,000 folders
# QUARN_BIN          quarn to measure (default: build/quarn/quarn, built if missing)
# QUARN_BENCH_COLD   1: also time quarn and du on the file tree with the caches
#                    dropped before each run (needs root)
# QUARN_BENCH_SWEEP  1: also time quarn by thread count on the file tree
#
# Prints, for each tree, each tool's median wall time of RUNS runs (default
# 5), its ratio to du -s measured in the same run, and the peak resident
# memory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=${1:-5}
trees=${QUARN_BENCH_TREE:-$here/tree}
quarn=${QUARN_BIN:-$root/build/quarn/quarn}

for tool in du ncdu gdu python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "scan.sh: '$tool' is missing (Debian packages coreutils, ncdu, gdu, python3, time)" >&2; exit 2; }
done
if [ ! -x "$quarn" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" --target quarn --parallel "$(nproc)"
fi
# build NAME MAKETREE-ARGUMENTS...: builds $trees/NAME when missing.
build() {
  local name=$1
  shift
  if [ ! -e "$trees/$name/.complete" ]; then
    rm -rf "${trees:?}/$name"
    python3 "$here/maketree.py" "$name" "$trees/$name" "$@"
    touch "$trees/$name/.complete"
  fi
}
build files 300000 2000
build folders 600 500
build chain 60000
# run_once COMMAND...: prints "SECONDS PEAK_KIB" for one run, output discarded.
run_once() {
  local log start end
  log=$(mktemp)
  start=$EPOCHREALTIME
  /usr/bin/time -v -o "$log" "$@" >/dev/null 2>&1 || true
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -F': ' '/Maximum resident set size/ { printf "%.4f %d\n", e - s, $2 }' "$log"
  rm -f "$log"
}

drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

# measure COLD COMMAND...: median seconds and largest peak KiB of $runs runs.
measure() {
  local cold=$1
  shift
  local i
  for ((i = 0; i < runs; i++)); do
    [ "$cold" = 1 ] && drop_caches
    run_once "$@"
  done | sort -n | awk '{ t[NR] = $1; if ($2 > m) m = $2 } END { printf "%.4f %d\n", t[int((NR + 1) / 2)], m }'
}

echo "machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

tools=(quarn du ncdu gdu)
declare -A label=(
  [quarn]="quarn -n 13 -j"
  [du]="du -s"
  [ncdu]="ncdu -0 -o /dev/null"
  [gdu]="gdu -n -p -c -o /dev/null"
)
command_of() {
  case $1 in
    quarn) echo "$quarn -n 13 -j" ;;
    du) echo "du -s" ;;
    ncdu) echo "ncdu -0 -o /dev/null" ;;
    gdu) echo "gdu -n -p -c -o /dev/null" ;;
  esac
}

# table TREE: one table of every tool on one tree, warm cache.
table() {
  local tree=$trees/$1 tool seconds kib base
  declare -A result
  du -s "$tree" >/dev/null # warm the cache
  du -s "$tree" >/dev/null
  for tool in "${tools[@]}"; do
    # shellcheck disable=SC2046
    result[$tool]=$(measure 0 $(command_of "$tool") "$tree")
  done
  base=${result[du]%% *}
  printf '\n%s: %s files, %s folders, %s; warm cache, %d runs each\n' "$1" \
    "$(find "$tree" -type f | wc -l)" "$(find "$tree" -type d | wc -l)" "$(du -sh "$tree" | cut -f1)" "$runs"
  printf '%-28s %10s %10s %14s\n' "tool" "median s" "x du -s" "peak RSS MiB"
  for tool in "${tools[@]}"; do
    read -r seconds kib <<<"${result[$tool]}"
    awk -v l="${label[$tool]}" -v s="$seconds" -v b="$base" -v k="$kib" \
      'BEGIN { printf "%-28s %10.3f %10.2f %14.1f\n", l, s, s / b, k / 1024 }'
  done
}
table files
table folders
table chain

if [ "${QUARN_BENCH_COLD:-0}" = 1 ]; then
  if [ -w /proc/sys/vm/drop_caches ]; then
    printf '\nfiles, cold cache (caches dropped before each run), %d runs each\n' "$runs"
    read -r q _ <<<"$(measure 1 "$quarn" -n 13 -j "$trees/files")"
    read -r d _ <<<"$(measure 1 du -s "$trees/files")"
    awk -v q="$q" -v d="$d" 'BEGIN { printf "quarn -n 13 -j %.3f s, du -s %.3f s: %.2f x du -s\n", q, d, q / d }'
  else
    echo "cold cache: skipped (dropping caches needs root)"
  fi
fi

if [ "${QUARN_BENCH_SWEEP:-0}" = 1 ]; then
  printf '\nquarn -n 13 -j on files by thread count, warm cache\n'
  printf '%-10s %10s\n' "threads" "median s"
  for threads in 1 2 4 8 16 32; do
    read -r seconds _ <<<"$(measure 0 "$quarn" -t "$threads" -n 13 -j "$trees/files")"
    printf '%-10s %10.3f\n' "$threads" "$seconds"
  done
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
