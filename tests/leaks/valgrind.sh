#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# tests/leaks/valgrind.sh [BUILD_DIR]: runs menu-host under
# `valgrind --leak-check=full`, triggering the extension's menu action with a
# fake tool once for a text report and once for a JSON report (tree window),
# and prints valgrind's leak summary of each run. Fails when a run loses a
# block for certain ("definitely lost") outside the suppressions in
# valgrind.supp, which cover Qt's and the platform's own allocations only.
# Builds menu-host and the test plug-in in BUILD_DIR, an existing build
# (test.sh passes its own), or else configures build-leaks for them.
# QUARN_LEAKS_KEEP=1 keeps the logs, dumps and fake tools and says where.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-}
suppressions="$root/tests/leaks/valgrind.supp"

command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }

if [ -z "$build" ]; then
  build=$root/build-leaks
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_BUILD_SCANNER=OFF >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target menu-host quarn-gui-testseam

work=$(mktemp -d "${TMPDIR:-/tmp}/quarn-leaks.XXXXXX")
[ -n "${QUARN_LEAKS_KEEP:-}" ] && echo "logs kept in $work" || trap 'rm -rf "$work"' EXIT

# The fake tools: one prints a plain-text report, the other a JSON report of
# a few hundred nodes, so that the tree window has rows, levels and sizes.
cat >"$work/text-tool" <<'TOOL'
#!/bin/sh
printf '%s\n' '/data  3.0G' '/data/projects  2.0G' '/data/music  1.0G'
TOOL
{
  printf '{"name":"/data","size":"3.0G","children":['
  for d in $(seq 1 20); do
    [ "$d" -gt 1 ] && printf ','
    printf '{"name":"/data/d%s","size":"%sM","children":[' "$d" "$((d * 10))"
    for f in $(seq 1 15); do
      [ "$f" -gt 1 ] && printf ','
      printf '{"name":"/data/d%s/f%s","size":"%s.5K"}' "$d" "$f" "$f"
    done
    printf ']}'
  done
  printf ']}\n'
} >"$work/report.json"
printf '#!/bin/sh\ncat %s\n' "$work/report.json" >"$work/json-tool"
chmod +x "$work/text-tool" "$work/json-tool"

status=0
run() {
  local kind=$1 tool=$2 log="$work/$1.valgrind"
  QT_QPA_PLATFORM=offscreen QUARN_TEST_QUARN="$tool" \
    valgrind --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --num-callers=40 --suppressions="$suppressions" --log-file="$log" \
    "$build/host/menu-host" --trigger 磁盘使用统计 --dump "$work/$kind.dump" \
    "$build/tests/common/libquarn-gui-testseam.so" /data >"$work/$kind.out" 2>&1 ||
    { echo "$kind run: menu-host failed"; cat "$work/$kind.out"; status=1; }
  grep -q "\"class\"" "$work/$kind.dump" 2>/dev/null || { echo "$kind run: no window was dumped"; status=1; }
  echo "== $kind run"
  sed -n '/LEAK SUMMARY/,/suppressed:/p' "$log" | sed 's/^==[0-9]*== //'
  grep -E 'ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== //'
  if ! grep -q 'ERROR SUMMARY: 0 errors' "$log"; then
    echo "$kind run: valgrind reports errors:"
    grep -v '^==[0-9]*== *$' "$log" | sed -n '/Parent PID/,/HEAP SUMMARY/p' | sed 's/^==[0-9]*== //'
    status=1
  fi
  if ! grep -q 'definitely lost: 0 bytes in 0 blocks' "$log" && grep -q 'definitely lost:' "$log"; then
    echo "$kind run: definitely lost blocks:"
    sed -n '/definitely lost in loss record/,/^==[0-9]*== $/p' "$log" | sed 's/^==[0-9]*== //'
    status=1
  fi
}
run text "$work/text-tool"
run tree "$work/json-tool"
exit $status
