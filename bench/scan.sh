#!/usr/bin/env bash
# Benchmark of quarn against du, ncdu and gdu on one large tree.
#
#   bench/scan.sh [RUNS]
#
# QUARN_BENCH_TREE  tree to scan (default: bench/tree; built when missing)
# QUARN_BIN         quarn to measure (default: build/quarn/quarn, built if missing)
# QUARN_BENCH_COLD  1: also sweep thread counts with a cold cache (needs root)
#
# Prints, for each tool, the median wall time of RUNS runs (default 7), its
# ratio to quarn's, and the peak resident memory; then quarn's median for
# several thread counts with a warm and, if asked, a cold cache.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=${1:-7}
tree=${QUARN_BENCH_TREE:-$here/tree}
quarn=${QUARN_BIN:-$root/build/quarn/quarn}

for tool in du ncdu gdu python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "scan.sh: '$tool' is missing (Debian packages coreutils, ncdu, gdu, python3, time)" >&2; exit 2; }
done
if [ ! -x "$quarn" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" --target quarn --parallel "$(nproc)"
fi
if [ ! -e "$tree/.complete" ]; then
  rm -rf "$tree"
  python3 "$here/maketree.py" "$tree" 300000 2000
  touch "$tree/.complete"
fi

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

echo "tree: $tree ($(find "$tree" -type f | wc -l) files, $(find "$tree" -type d | wc -l) folders, $(du -sh "$tree" | cut -f1))"
echo "machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
du -s "$tree" >/dev/null # warm the cache
du -s "$tree" >/dev/null

declare -A label=(
  [quarn]="quarn -n 13 -j"
  [du]="du -s"
  [ncdu]="ncdu -0 -o /dev/null"
  [gdu]="gdu -n -p -c -o /dev/null"
)
declare -A result
result[quarn]=$(measure 0 "$quarn" -n 13 -j "$tree")
result[du]=$(measure 0 du -s "$tree")
result[ncdu]=$(measure 0 ncdu -0 -o /dev/null "$tree")
result[gdu]=$(measure 0 gdu -n -p -c -o /dev/null "$tree")

base=${result[quarn]%% *}
printf '\nwarm cache, %d runs each\n' "$runs"
printf '%-28s %10s %10s %14s\n' "tool" "median s" "x quarn" "peak RSS MiB"
for tool in quarn du ncdu gdu; do
  read -r seconds kib <<<"${result[$tool]}"
  awk -v l="${label[$tool]}" -v s="$seconds" -v b="$base" -v k="$kib" \
    'BEGIN { printf "%-28s %10.3f %10.2f %14.1f\n", l, s, s / b, k / 1024 }'
done

sweep() {
  local cold=$1 threads
  printf '\nquarn -n 13 -j by thread count, %s cache\n' "$([ "$cold" = 1 ] && echo cold || echo warm)"
  printf '%-10s %10s\n' "threads" "median s"
  for threads in 1 2 4 8 16 32; do
    read -r seconds _ <<<"$(measure "$cold" "$quarn" -t "$threads" -n 13 -j "$tree")"
    printf '%-10s %10.3f\n' "$threads" "$seconds"
  done
  read -r seconds _ <<<"$(measure "$cold" "$quarn" -n 13 -j "$tree")"
  printf '%-10s %10.3f\n' "default" "$seconds"
}
sweep 0
if [ "${QUARN_BENCH_COLD:-0}" = 1 ]; then
  if [ -w /proc/sys/vm/drop_caches ]; then
    sweep 1
    read -r seconds _ <<<"$(measure 1 du -s "$tree")"
    printf '%-10s %10.3f\n' "du -s" "$seconds"
  else
    echo "cold cache: skipped (dropping caches needs root)"
  fi
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
