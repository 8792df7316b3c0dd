#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# fuzz/run.sh SECONDS: builds the libFuzzer targets with clang, AddressSanitizer
# and UBSan (in build-fuzz, or $QUARN_FUZZ_BUILD_DIR), then runs each target
# for SECONDS on a scratch copy of its seed corpus under $TMPDIR. Exits
# non-zero if any target finds a crash, a leak, undefined behaviour or a
# wrong result; the reproducer and the log stay in the scratch folder.
set -euo pipefail

seconds=${1:-30}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: fuzz/run.sh SECONDS" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARN_FUZZ_BUILD_DIR:-$root/build-fuzz}

# target name, corpus folder, largest input in bytes
targets=(
  "fuzz_size_text size_text 256"
  "fuzz_tree_report tree_report 4096"
  "fuzz_json_writer json_writer 4096"
  "fuzz_ncdu_import ncdu_import 4096"
)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DQUARN_BUILD_FUZZERS=ON \
  -DQUARN_BUILD_TESTS=OFF -DQUARN_BUILD_HOST=OFF -DQUARN_BUILD_SCANNER=OFF >/dev/null
names=()
for entry in "${targets[@]}"; do
  read -r name _ <<<"$entry"
  names+=("$name")
done
cmake --build "$build" --parallel "$(nproc)" --target "${names[@]}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quarn-fuzz.XXXXXX")
lsan_supp="$root/tests/sanitizers/lsan.supp"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS=""
[ -f "$lsan_supp" ] && LSAN_OPTIONS="suppressions=$lsan_supp"

failed=()
for entry in "${targets[@]}"; do
  read -r name corpus max_len <<<"$entry"
  work="$scratch/$name"
  mkdir -p "$work/corpus"
  cp "$root/fuzz/corpus/$corpus"/* "$work/corpus/"
  dict=()
  [ -f "$root/fuzz/$corpus.dict" ] && dict=("-dict=$root/fuzz/$corpus.dict")
  echo "== $name: ${seconds}s"
  if "$build/fuzz/$name" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 \
      -print_final_stats=1 -artifact_prefix="$work/" "${dict[@]}" "$work/corpus" >"$work/log" 2>&1; then
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/log" || true
  else
    failed+=("$name")
    tail -n 60 "$work/log"
    echo "== $name FAILED; log and reproducer in $work"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
rm -rf "$scratch"
echo "fuzzing: all targets ran ${seconds}s without a finding"
