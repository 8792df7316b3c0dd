#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Benchmark of quarn against du, ncdu, gdu and a bare parallel walk.
#
#   bench/scan.sh [RUNS]
#
# Trees, each built under QUARN_BENCH_TREE when missing:
#   files    300,000 files of 0-16 KiB in 2,000 nested folders
#   folders  300,000 empty folders (600 x 500)
#   chain    one chain of 60,000 folders
#   linux    the Linux 6.1 sources, extracted from Debian's linux-source-6.1
#            (installed with apt-get when missing)
#   usr      this machine's /usr, as it is
#   root     the root file system with -x; measured only with QUARN_BENCH_COLD=1
#
# QUARN_BIN          quarn to measure (default: build/quarn/quarn, built if missing)
# QUARN_BENCH_TREE   folder of the built trees (default: bench/tree)
# QUARN_BENCH_ONLY   comma list of the trees to measure (default: all), e.g.
#                    files,chain
# QUARN_BENCH_COLD   1: also time with the caches dropped before each run (needs
#                    root): the file tree (quarn, du, ncdu, gdu, the bare and
#                    floor walks with 64 threads), the Linux sources (quarn,
#                    du, the walks with 64 threads) and the root file system
#                    (quarn -x, du -sx, the walks with -x)
# QUARN_BENCH_SWEEP  1: also time quarn by thread count on the file tree
# QUARN_BENCH_WAITS  1: also time where every call waits, as on a network
#                    share (needs /dev/fuse): quarn, the floor walk with 64
#                    threads, gdu and du on slowfs (tests/adversary), a
#                    mirror of /usr/share/doc answering each call after 0.2,
#                    1 and 5 ms, and a made-up tree of 64 folders of 10 files
#                    whose every file's look waits 20 ms; quarn's targets
#                    there: within 1.1 x the floor walk with 64 threads
#                    (paired) and faster than gdu. QUARN_BENCH_ONLY=waits
#                    measures these alone.
# QUARN_FLOORWALK_SOURCE  the floor walk's source (default: ../shared/bench/floorwalk.c
#                    beside the project)
#
# Two bare walks do only what any walk of the tree must: getdents64 and a stat
# per entry, openat per folder, a shared stack of folders, a sum of the
# blocks. The floor walk, ../shared/bench/floorwalk.c (built with gcc into
# build/bench/ when that file is there), is the floor quarn's targets are set
# against; bench/barewalk.cpp (statx, built with g++) is kept beside it.
# Before each warm table the script checks that the bare walk's total equals
# du -s -B1 (on trees without hard links, which du counts once).
#
# Prints, per tree and tool, the median wall time of RUNS runs (default 5;
# the tools of a table take turns, one run each a round), its ratios to
# du -s and to the fastest floor or bare walk of the table that walked
# everything (exit status 0), and the largest peak resident memory, with
# any crash or error status beside it; then whether quarn meets its
# targets: warm, no slower than the faster of ncdu and gdu and within 1.05 x
# the floor walk with 2 threads; cold, within 1.1 x the floor walk with 64
# threads and 0.42 x du (against the floor walk, the median of the rounds'
# ratios: quarn and the walk run side by side in each round, and warm, where
# quarn takes under a second, in more rounds, up to about 4 s of quarn); on
# the folder tree, at most 48 bytes of memory per folder above its base
# (quarn on an empty folder).
#
# On the Linux sources and /usr it also times the export and its import:
# quarn -o against quarn without it (target at most 1.5 x), ncdu -0 -o and
# gdu -n -p -o (target faster than both, peak memory no more than ncdu's);
# quarn -f on quarn's export of the tree against ncdu -f and gdu -f (target
# faster than both).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=${1:-5}
trees=${QUARN_BENCH_TREE:-$here/tree}
quarn=${QUARN_BIN:-$root/build/quarn/quarn}
barewalk=$root/build/bench/barewalk
floorwalk_source=${QUARN_FLOORWALK_SOURCE:-$root/../shared/bench/floorwalk.c}
floorwalk=$root/build/bench/floorwalk
slowfs=${QUARN_SLOWFS:-$root/build/tests/adversary/slowfs}
waits=${QUARN_BENCH_WAITS:-0}
cold=${QUARN_BENCH_COLD:-0}
only=${QUARN_BENCH_ONLY:-files,folders,chain,linux,usr,root}
linux_archive=/usr/src/linux-source-6.1.tar.xz

die() { echo "scan.sh: $*" >&2; exit 2; }

[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number, not '$runs'"
IFS=, read -r -a selected <<<"$only"
for name in "${selected[@]}"; do
  case $name in
    files | folders | chain | linux | usr | root | waits) ;;
    *) die "unknown tree '$name' in QUARN_BENCH_ONLY (files, folders, chain, linux, usr, root, waits)" ;;
  esac
done
wanted() { [[ ",$only," == *",$1,"* ]]; }

for tool in du ncdu gdu python3 g++ /usr/bin/time; do
  command -v "$tool" >/dev/null || die "'$tool' is missing (Debian packages coreutils, ncdu, gdu, python3, g++, time)"
done
if [ ! -x "$quarn" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" --target quarn --parallel "$(nproc)"
fi
if [ ! -x "$barewalk" ] || [ "$here/barewalk.cpp" -nt "$barewalk" ]; then
  mkdir -p "$(dirname "$barewalk")"
  g++ -O2 -std=c++17 -pthread -o "$barewalk" "$here/barewalk.cpp"
fi
if [ -e "$floorwalk_source" ] && { [ ! -x "$floorwalk" ] || [ "$floorwalk_source" -nt "$floorwalk" ]; }; then
  gcc -O2 -pthread -o "$floorwalk" "$floorwalk_source"
fi
have_floor() { [ -x "$floorwalk" ]; }
# The floor walk keeps a descriptor open for every level it is below; the
# chain needs more than the usual soft limit.
ulimit -n "$(ulimit -Hn)"
export_dir=$(mktemp -d)
trap 'rm -rf "$export_dir"' EXIT

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
build_linux() {
  local dir=$trees/linux
  [ -e "$dir/.complete" ] && return
  if [ ! -e "$linux_archive" ]; then
    echo "installing linux-source-6.1 for $linux_archive"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends linux-source-6.1 >/dev/null ||
      die "cannot install linux-source-6.1 (as root: apt-get install linux-source-6.1)"
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  tar -xJf "$linux_archive" -C "$dir" --strip-components=1
  touch "$dir/.complete"
  echo "extracted $linux_archive into $dir"
}
path_of() {
  case $1 in
    usr) echo /usr ;;
    *) echo "$trees/$1" ;;
  esac
}
! wanted files || build files 300000 2000
! wanted folders || build folders 600 500
! wanted chain || build chain 60000
! wanted linux || build_linux

# run_once COMMAND...: prints "SECONDS PEAK_KIB SIGNAL STATUS" for one run,
# output discarded; SIGNAL is the one that killed it, 0 if none, and STATUS
# its exit status (a tool that crashes or skips folders part of the way
# through is fast for the wrong reason).
run_once() {
  local log start end
  log=$(mktemp)
  start=$EPOCHREALTIME
  /usr/bin/time -v -o "$log" "$@" >/dev/null 2>&1 </dev/null || true
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -F': ' '
    /Command terminated by signal/ { n = split($0, word, " "); signal = word[n] }
    /Exit status/ { status = $2 }
    /Maximum resident set size/ { kib = $2 }
    END { printf "%.4f %d %d %d\n", e - s, kib, signal, status }' "$log"
  rm -f "$log"
}

drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

# run_on COLD PATH COMMAND...: one run_once of COMMAND, with every word
# @PATH@ in it replaced by PATH (appended when there is none), the caches
# dropped first when COLD is 1.
run_on() {
  local cold=$1 path=$2
  shift 2
  local words=() word placed=false
  for word in "$@"; do
    if [ "$word" = @PATH@ ]; then words+=("$path") placed=true; else words+=("$word"); fi
  done
  $placed || words+=("$path")
  [ "$cold" = 1 ] && drop_caches
  run_once "${words[@]}"
}

# summarize: reads run_once lines and prints the median seconds, the
# largest peak KiB, the last killing signal (0: none) and the last
# non-zero exit status (0: none).
summarize() {
  sort -n | awk '{ t[NR] = $1; if ($2 > m) m = $2; if ($3) k = $3; if ($4) x = $4 }
    END { printf "%.4f %d %d %d\n", t[int((NR + 1) / 2)], m, k, x }'
}

# measure COLD PATH COMMAND...: summarize of $runs runs of COMMAND on PATH.
measure() {
  local i
  for ((i = 0; i < runs; i++)); do
    run_on "$@"
  done | summarize
}

# Tools by key: the label in the tables and, from set_command in cmd, the
# command without the path.
declare -A label=(
  [quarn]="quarn -n 13 -j"
  [du]="du -s"
  [ncdu]="ncdu -0 -o /dev/null"
  [gdu]="gdu -n -p -c -o /dev/null"
  [bare]="bare walk, 2 threads"
  [bare64]="bare walk, 64 threads"
  [floor]="floor walk, 2 threads"
  [floor64]="floor walk, 64 threads"
  [floor64_x]="floor walk -x, 64 threads"
  [quarn_o]="quarn -o F"
  [ncdu_o]="ncdu -0 -o F"
  [gdu_o]="gdu -n -p -o F"
  [quarn_f]="quarn -n 13 -j -f F"
  [ncdu_f]="ncdu -f F -o /dev/null"
  [gdu_f]="gdu -f F -n -p"
  [quarn_x]="quarn -x -n 13 -j"
  [du_x]="du -sx"
  [bare32_x]="bare walk -x, 32 threads"
  [bare64_x]="bare walk -x, 64 threads"
)
set_command() {
  case $1 in
    quarn) cmd=("$quarn" -n 13 -j) ;;
    du) cmd=(du -s) ;;
    ncdu) cmd=(ncdu -0 -o /dev/null) ;;
    gdu) cmd=(gdu -n -p -c -o /dev/null) ;;
    bare) cmd=("$barewalk" -t 2) ;;
    bare64) cmd=("$barewalk" -t 64) ;;
    floor) cmd=("$floorwalk" @PATH@ 2) ;;
    floor64) cmd=("$floorwalk" @PATH@ 64) ;;
    floor64_x) cmd=(env FLOORWALK_X=1 "$floorwalk" @PATH@ 64) ;;
    quarn_o) cmd=("$quarn" -o "$export_dir/quarn.json") ;;
    ncdu_o) cmd=(ncdu -0 -o "$export_dir/ncdu.json") ;;
    gdu_o) cmd=(gdu -n -p -o "$export_dir/gdu.json") ;;
    quarn_f) cmd=("$quarn" -n 13 -j -f @PATH@) ;;
    ncdu_f) cmd=(ncdu -f @PATH@ -o /dev/null) ;;
    gdu_f) cmd=(gdu -f @PATH@ -n -p) ;;
    quarn_x) cmd=("$quarn" -x -n 13 -j) ;;
    du_x) cmd=(du -sx) ;;
    bare32_x) cmd=("$barewalk" -x -t 32) ;;
    bare64_x) cmd=("$barewalk" -x -t 64) ;;
  esac
}

# check_total PATH: the bare walk must count what du -s -B1 counts, unless
# the tree has hard links (du counts those once, the bare walk each time).
check_total() {
  local walked counted
  walked=$("$barewalk" "$1" | cut -f1) || true
  counted=$(du -s -B1 "$1" | cut -f1)
  if [ "$walked" = "$counted" ]; then
    echo "bare walk total = du -s -B1 = $counted bytes"
  elif [ -n "$(find "$1" -xdev ! -type d -links +1 -print -quit)" ]; then
    echo "bare walk total $walked bytes, du -s -B1 $counted bytes (hard links, which du counts once)"
  else
    die "the bare walk counted ${walked:-nothing} bytes in $1, du -s -B1 $counted: it does not walk everything"
  fi
}

declare -A seconds kib killed failed rounds
folder_count=0

# table COLD DU-KEY PATH TOOL...: times every TOOL on PATH and prints one
# table; leaves the medians, peaks and failures in seconds, kib, killed and
# failed, and each round's seconds in rounds. Each tool's floor ratio is to
# the fastest floor or bare walk of the table that exited with status 0.
table() {
  local cold=$1 du_key=$2 path=$3 tool best= i line
  shift 3
  local tools=("$@") order
  local -A lines=()
  for tool in "${tools[@]}"; do rounds[$tool]=; done
  # Round by round, every tool once a round: a machine that slows down for
  # a while (other guests, the host's caches) slows every tool alike, and
  # the ratios stay fair. The first two tools swap places every other
  # round, so that neither always runs after the other.
  for ((i = 0; i < runs; i++)); do
    order=("${tools[@]}")
    if ((i % 2)) && ((${#tools[@]} > 1)); then order=("${tools[1]}" "${tools[0]}" "${tools[@]:2}"); fi
    for tool in "${order[@]}"; do
      set_command "$tool"
      line=$(run_on "$cold" "$path" "${cmd[@]}")
      lines[$tool]+="$line"$'\n'
      rounds[$tool]+="${line%% *} "
    done
  done
  for tool in "${tools[@]}"; do
    read -r "seconds[$tool]" "kib[$tool]" "killed[$tool]" "failed[$tool]" \
      <<<"$(printf '%s' "${lines[$tool]}" | summarize)"
    # A walk that failed somewhere (a folder it could not open: the bare
    # walk keeps every folder it found open) walked less: never the floor.
    if [[ $tool == bare* || $tool == floor* ]] && [ "${failed[$tool]}" = 0 ] &&
      { [ -z "$best" ] || awk -v a="${seconds[$tool]}" -v b="$best" 'BEGIN { exit !(a < b) }'; }; then
      best=${seconds[$tool]}
    fi
  done
  seconds[best_bare]=$best
  printf '%-28s %10s %8s %12s %14s\n' "tool" "median s" "x ${label[$du_key]}" "x floor" "peak RSS MiB"
  for tool in "${tools[@]}"; do
    awk -v l="${label[$tool]}" -v s="${seconds[$tool]}" -v d="${seconds[$du_key]}" -v b="$best" -v k="${kib[$tool]}" \
      -v x="${killed[$tool]}" -v f="${failed[$tool]}" 'BEGIN {
        floor = b > 0 ? sprintf("%12.2f", s / b) : sprintf("%12s", "-")
        note = x ? "  crashed (signal " x ")" : f ? "  exit status " f : ""
        printf "%-28s %10.3f %8.2f %s %14.1f%s\n", l, s, s / d, floor, k / 1024, note
      }'
  done
}

# paired_ratio A B: the median over the rounds of A's time in a round
# divided by B's in the same round. Runs a moment apart share the machine's
# state (the host's load, its caches), so this ratio drifts less than one of
# two medians.
paired_ratio() {
  awk -v a="${rounds[$1]}" -v b="${rounds[$2]}" 'BEGIN {
    n = split(a, x, " "); split(b, y, " ")
    for (i = 1; i <= n; i++) r[i] = y[i] > 0 ? x[i] / y[i] : 0
    for (i = 2; i <= n; i++) for (j = i; j > 1 && r[j - 1] > r[j]; j--) { t = r[j]; r[j] = r[j - 1]; r[j - 1] = t }
    printf "%.4f", n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
  }'
}

# more_pairs PATH A B: on a warm tree A walks in less than a second, more
# rounds of A and B side by side (together about 4 s of A, at most 40
# rounds in all), added to their rounds: the shorter a run, the more a
# moment's noise moves its ratio (with 16 rounds of the Linux sources, the
# same build's ratio ranged from 1.00 to 1.07). They swap places every
# other round, as in the table.
more_pairs() {
  local path=$1 a=$2 b=$3 i extra line tool order
  extra=$(awk -v s="${seconds[$a]}" -v r="$runs" 'BEGIN {
    n = s > 0 ? int(4 / s) : 0; if (n > 40) n = 40; print (n > r ? n - r : 0) }')
  for ((i = 0; i < extra; i++)); do
    order=("$a" "$b")
    if (((runs + i) % 2)); then order=("$b" "$a"); fi
    for tool in "${order[@]}"; do
      set_command "$tool"
      line=$(run_on 0 "$path" "${cmd[@]}")
      rounds[$tool]+="${line%% *} "
    done
  done
}

# floor_key WARM-OR-COLD [x]: the walk quarn's targets are set against: the
# floor walk (2 threads warm, 64 cold), or the bare walk where the floor
# walk's source is not there.
floor_key() {
  if have_floor; then
    if [ "$1" = warm ]; then echo floor; else echo "floor64${2:+_x}"; fi
  elif [ "$1" = warm ]; then
    echo bare
  else
    echo "bare64${2:+_x}"
  fi
}

# warm NAME: the table of every tool on one tree with a warm cache and the
# targets of quarn there.
warm() {
  local name=$1 path files floor
  path=$(path_of "$1")
  files=$(find "$path" -type f | wc -l)
  folder_count=$(find "$path" -type d | wc -l)
  printf '\n%s (%s): %d files, %d folders, %s; warm cache, %d runs each\n' "$name" "$path" \
    "$files" "$folder_count" "$(du -sh "$path" | cut -f1)" "$runs"
  check_total "$path" # also warms the cache
  du -s "$path" >/dev/null
  floor=$(floor_key warm)
  # quarn and the walk it is measured against first, side by side.
  if have_floor; then
    table 0 du "$path" quarn floor du ncdu gdu bare
  else
    table 0 du "$path" quarn bare du ncdu gdu
  fi
  more_pairs "$path" quarn "$floor"
  # A peer that crashed did not walk the whole tree: it is left out of the
  # comparison, and said so.
  awk -v n="$name" -v q="${seconds[quarn]}" -v c="${seconds[ncdu]}" -v g="${seconds[gdu]}" \
    -v r="$(paired_ratio quarn "$floor")" -v pairs="$(wc -w <<<"${rounds[quarn]}")" -v bl="${label[$floor]}" \
    -v cx="${killed[ncdu]}" -v gx="${killed[gdu]}" '
    function mark(ok) { return ok ? "✓" : "✗" }
    BEGIN {
      walk = sprintf("quarn ≤ 1.05 x %s %s %.3f x (paired, %d rounds)", bl, mark(r <= 1.05), r, pairs)
      if (cx && gx) {
        printf "%s targets: ncdu and gdu both crashed; %s\n", n, walk
        exit
      }
      m = cx ? g : gx ? c : c < g ? c : g
      peers = cx ? "gdu (ncdu crashed)" : gx ? "ncdu (gdu crashed)" : "min(ncdu, gdu)"
      printf "%s targets: quarn ≤ %s %s %.3f x; %s\n", n, peers, mark(q <= m), q / m, walk
    }'
}

# cold_targets NAME DU-KEY FLOOR-KEY: quarn's targets with a cold cache.
cold_targets() {
  local quarn_key=quarn
  if [ "$2" = du_x ]; then quarn_key=quarn_x; fi
  awk -v n="$1" -v q="${seconds[$quarn_key]}" -v r="$(paired_ratio "$quarn_key" "$3")" -v bl="${label[$3]}" \
    -v d="${seconds[$2]}" '
    function mark(ok) { return ok ? "✓" : "✗" }
    BEGIN {
      printf "%s targets: quarn ≤ 1.1 x %s %s %.3f x (paired); quarn ≤ 0.42 x du %s %.3f x\n",
        n, bl, mark(r <= 1.1), r, mark(q <= 0.42 * d), q / d
    }'
}

# export_table NAME: quarn's export of one tree against ncdu's and gdu's, and the
# import of quarn's export against theirs, warm cache.
export_table() {
  local name=$1 path
  path=$(path_of "$1")
  printf '\n%s (%s): export and import, warm cache, %d runs each\n' "$name" "$path" "$runs"
  table 0 quarn "$path" quarn quarn_o ncdu_o gdu_o
  awk -v n="$name" -v q="${seconds[quarn]}" -v o="${seconds[quarn_o]}" -v c="${seconds[ncdu_o]}" \
    -v g="${seconds[gdu_o]}" -v ok="${kib[quarn_o]}" -v ck="${kib[ncdu_o]}" '
    function mark(ok) { return ok ? "✓" : "✗" }
    BEGIN {
      printf "%s export targets: quarn -o ≤ 1.5 x quarn %s %.3f x; < ncdu -o %s %.3f x; < gdu -o %s %.3f x; peak ≤ ncdu %s %.2f x\n",
        n, mark(o <= 1.5 * q), o / q, mark(o < c), o / c, mark(o < g), o / g, mark(ok <= ck), ok / ck
    }'
  "$quarn" -o "$export_dir/$name.json" "$path" 2>/dev/null || true
  table 0 quarn_f "$export_dir/$name.json" quarn_f ncdu_f gdu_f
  awk -v n="$name" -v q="${seconds[quarn_f]}" -v c="${seconds[ncdu_f]}" -v g="${seconds[gdu_f]}" '
    function mark(ok) { return ok ? "✓" : "✗" }
    BEGIN {
      printf "%s import targets: quarn -f < ncdu -f %s %.3f x; < gdu -f %s %.3f x\n", n, mark(q < c), q / c, mark(q < g), q / g
    }'
}

echo "machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "${QUARN_BENCH_ONLY:-}" ] && wanted root && [ "$cold" != 1 ]; then
  echo "root: measured only with QUARN_BENCH_COLD=1"
fi

for name in files folders chain linux usr; do
  wanted "$name" || continue
  warm "$name"
  if [ "$name" = folders ]; then
    empty=$(mktemp -d)
    read -r _ base _ <<<"$(measure 0 "$empty" "$quarn" -n 13 -j)"
    rmdir "$empty"
    awk -v p="${kib[quarn]}" -v b="$base" -v n="$folder_count" 'BEGIN {
      per = (p - b) * 1024 / n
      printf "folders memory: quarn peak %.1f MiB, base %.1f MiB (an empty folder): %.1f bytes per folder over %d folders; target ≤ 48 %s\n",
        p / 1024, b / 1024, per, n, per <= 48 ? "✓" : "✗"
    }'
  fi
done

if "$quarn" --help 2>/dev/null | grep -q -- '--output'; then
  for name in linux usr; do
    if wanted "$name"; then export_table "$name"; fi
  done
else
  echo "export and import: $quarn has no --output"
fi

if [ "$cold" = 1 ]; then
  if [ ! -w /proc/sys/vm/drop_caches ]; then
    echo "cold cache: skipped (dropping caches needs root)"
  else
    if wanted files; then
      printf '\nfiles (%s): cold cache (caches dropped before each run), %d runs each\n' "$trees/files" "$runs"
      table 1 du "$trees/files" quarn "$(floor_key cold)" du ncdu gdu $(have_floor && echo bare64)
      cold_targets "files, cold" du "$(floor_key cold)"
    fi
    if wanted linux; then
      printf '\nlinux (%s): cold cache, %d runs each\n' "$trees/linux" "$runs"
      table 1 du "$trees/linux" quarn "$(floor_key cold)" du $(have_floor && echo bare64)
      cold_targets "linux, cold" du "$(floor_key cold)"
    fi
    if wanted root; then
      printf '\nroot file system (/, staying on its device): cold cache, %d runs each\n' "$runs"
      table 1 du_x / quarn_x "$(floor_key cold x)" du_x bare32_x $(have_floor && echo bare64_x)
      cold_targets "root, cold" du_x "$(floor_key cold x)"
    fi
  fi
fi

# waits_table TITLE SLOWFS-ARGUMENTS...: the table of quarn, the floor walk
# with 64 threads, gdu and du on slowfs mounted with those arguments, and
# quarn's targets there.
waits_table() {
  local title=$1 mountpoint fs
  shift
  mountpoint=$(mktemp -d)
  "$slowfs" "$@" "$mountpoint" -f >/dev/null 2>&1 &
  fs=$!
  while ! mountpoint -q "$mountpoint"; do
    kill -0 "$fs" 2>/dev/null || { echo "where every call waits: slowfs could not mount (no /dev/fuse?)"; return; }
    sleep 0.05
  done
  printf '\n%s: every call waits, %d runs each\n' "$title" "$runs"
  table 0 du "$mountpoint" quarn "$(floor_key cold)" gdu du
  awk -v n="$title" -v q="${seconds[quarn]}" -v g="${seconds[gdu]}" \
    -v r="$(paired_ratio quarn "$(floor_key cold)")" -v bl="${label[$(floor_key cold)]}" '
    function mark(ok) { return ok ? "✓" : "✗" }
    BEGIN {
      printf "%s targets: quarn ≤ 1.1 x %s %s %.3f x (paired); quarn < gdu %s %.3f x\n",
        n, bl, mark(r <= 1.1), r, mark(q < g), q / g
    }'
  fusermount3 -u -z "$mountpoint" 2>/dev/null || true
  wait "$fs" 2>/dev/null || true
  rmdir "$mountpoint"
}

if [ "$waits" = 1 ] || { [ -n "${QUARN_BENCH_ONLY:-}" ] && wanted waits; }; then
  if [ ! -x "$slowfs" ]; then
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build" --target slowfs --parallel "$(nproc)" >/dev/null
  fi
  for delay in 200 1000 5000; do
    waits_table "/usr/share/doc mirrored, $delay us a call" --mirror=/usr/share/doc --delay-us="$delay"
  done
  waits_table "64 folders x 10 files, 20 ms a file's look" --tree=64,10 --stat-us=20000
fi

if [ "${QUARN_BENCH_SWEEP:-0}" = 1 ] && wanted files; then
  printf '\nquarn -n 13 -j on files by thread count, warm cache\n'
  printf '%-10s %10s\n' "threads" "median s"
  for threads in 1 2 4 8 16 32; do
    read -r median _ _ <<<"$(measure 0 "$trees/files" "$quarn" -t "$threads" -n 13 -j)"
    printf '%-10s %10.3f\n' "$threads" "$median"
  done
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
