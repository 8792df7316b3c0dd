#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# quarn while the target, or a folder at a random depth below it, keeps
# trading places with a symlink into a sentinel tree outside it: the same
# folder names, but every file a 1 TiB sparse file named SENTINEL-N. No run
# may count or name anything of it (a size of 1 TiB or more, or SENTINEL in
# its output), die of a signal or hang. Every second run writes an export
# (-o F) instead: neither the export nor its report (-f F) may hold anything
# of the sentinel tree, and the report must end with the export's status.
#   race.sh QUARN RACESWAP
# QUARN_BIN overrides QUARN; QUARN_SEED replays the choice of folders;
# QUARN_RACE_RUNS runs per case (default 100); QUARN_SOAK_S=N repeats every
# case with new seeds for N seconds.
set -uo pipefail
quarn=${QUARN_BIN:-$1}
swap=$2
runs=${QUARN_RACE_RUNS:-100}
seed=${QUARN_SEED:-$(((RANDOM << 15 | RANDOM) + 1))}
export LC_ALL=C.UTF-8

# What is swapped and how, times quarn's threads, times its descriptor limit.
swaps=("target exchange" "target link" "inner exchange" "inner link")
threads=("" "-t 1")
fdlimits=("" 10)
folders=(a a/b a/b/c a/b/c/d x x/y x/y/z)
tib=1099511627776

work=$(mktemp -d)
swapper=
stopSwapper() {
    [ -n "$swapper" ] || return 0
    kill "$swapper" 2>/dev/null
    wait "$swapper" 2>/dev/null
    swapper=
}
trap 'stopSwapper; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

# tree ROOT FILE-SIZE PREFIX: the folders, each with two files PREFIX-N.
tree() {
    local dir n=0
    for dir in "" "${folders[@]}"; do
        mkdir -p "$1/$dir"
        for _ in 1 2; do
            truncate -s "$2" "$1/$dir/$3-$((n += 1))"
        done
    done
}

failures=0
fail() {
    echo "FAIL $case (quarn${variant:+ $variant}${fds:+, ulimit -n $fds}) run $run, seed $seed: $*"
    echo "  replay: QUARN_SEED=$seed $0 $quarn $swap"
    head -c 600 "$work/out" | sed 's/^/  /'
    echo
    failures=$((failures + 1))
}

# checked STATUS FILE WHAT: false after a failure: a hang, a signal, or FILE
# holding a name or a size of the sentinel tree.
checked() {
    local size
    if [ "$1" -eq 124 ] || [ "$1" -eq 137 ]; then
        fail "$3: no result within 10 s (hang)"
    elif [ "$1" -gt 2 ]; then
        fail "$3: exit status $1 (signal $(($1 - 128)))"
    elif grep -q SENTINEL "$2"; then
        fail "$3 names an entry of the sentinel tree"
    else
        for size in $(grep -oE '"(size|asize|dsize)":"?[0-9]*' "$2" | tr -dc '0-9\n'); do
            if [ "${#size}" -gt 13 ] || { [ "${#size}" -eq 13 ] && [ "$size" -ge "$tib" ]; }; then
                fail "$3 has a size of $size bytes: the sentinel tree counted"
                return 1
            fi
        done
        return 0
    fi
    return 1
}

# One quarn run, every second one an export and its report; false after a
# failure.
runOnce() {
    local limit=() status read
    [ -n "$fds" ] && limit=(prlimit --nofile="$fds" --)
    if ((run % 2)); then
        timeout -k 2 10 "${limit[@]}" "$quarn" $variant -j -b --apparent-size -n 100 "$root/tgt" >"$work/out" 2>&1
        checked $? "$work/out" "the report"
        return
    fi
    rm -f "$work/export.json"
    timeout -k 2 10 "${limit[@]}" "$quarn" $variant -o "$work/export.json" "$root/tgt" >"$work/out" 2>&1
    status=$?
    checked "$status" "$work/out" "-o" || return 1
    [ "$status" -eq 2 ] && return 0 # the target was a link when first seen: nothing to export
    [ -f "$work/export.json" ] || { fail "-o: exit status $status and no export"; return 1; }
    cp "$work/export.json" "$work/out"
    checked 0 "$work/out" "the export" || return 1
    timeout -k 2 10 "$quarn" -j -b --apparent-size -n 100 -f "$work/export.json" >"$work/out" 2>&1
    read=$?
    checked "$read" "$work/out" "the export's report" || return 1
    [ "$read" -eq "$status" ] || { fail "the export's report: exit status $read, the export's $status"; return 1; }
}

runCase() {
    local where=$1 how=$2 folder= a b
    root=$work/case
    rm -rf "$root"
    tree "$root/tgt" 1000 file
    tree "$root/evil" 1T SENTINEL
    mkdir "$root/links"
    if [ "$where" = target ]; then
        a=$root/tgt
        ln -s "$root/evil" "$root/tgt.link"
        b=$root/tgt.link
    else
        folder=${folders[RANDOM % ${#folders[@]}]}
        a=$root/tgt/$folder
        b=$root/links/link
        ln -s "$root/evil/$folder" "$b"
    fi
    case="$where-$how${folder:+ ($folder)}"
    "$swap" "$how" "$a" "$b" 2>"$work/swap.err" &
    swapper=$!
    for ((run = 1; run <= runs; ++run)); do
        runOnce || break
    done
    if ! kill -0 "$swapper" 2>/dev/null; then
        echo "SKIP: no race here: $(cat "$work/swap.err")"
        exit 77
    fi
    stopSwapper
}

echo "race: seed $seed (replay with QUARN_SEED=$seed), $runs runs per case, quarn $quarn"
end=$((SECONDS + ${QUARN_SOAK_S:-0}))
while :; do
    RANDOM=$seed
    for s in "${swaps[@]}"; do
        for variant in "${threads[@]}"; do
            for fds in "${fdlimits[@]}"; do
                runCase $s
            done
        done
    done
    [ "$failures" -eq 0 ] && [ "$SECONDS" -lt "$end" ] || break
    seed=$((seed + 1))
    echo "race: seed $seed"
done
[ "$failures" -eq 0 ] && echo "race: no run counted the sentinel tree" && exit 0
echo "race: $failures failure(s)"
exit 1
