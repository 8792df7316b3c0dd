#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The five adversaries at once, each for SECONDS, against the quarn of a
# build tree; their whole output goes to LOG-FOLDER, their seeds and
# failures to the screen.
#   tests/adversary/soak.sh BUILD SECONDS [LOG-FOLDER]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: soak.sh BUILD SECONDS [LOG-FOLDER]}
# Absolute: the adversaries run quarn from folders of their own.
build=$(cd "$build" && pwd) || exit 2
seconds=${2:?usage: soak.sh BUILD SECONDS [LOG-FOLDER]}
logs=${3:-$(mktemp -d)}
mkdir -p "$logs"
quarn=$build/quarn/quarn
adversaries=$build/tests/adversary
export QUARN_SOAK_S=$seconds

bash "$here/hostilefs.sh" "$quarn" "$adversaries/hostilefs" >"$logs/hostilefs.log" 2>&1 &
bash "$here/race.sh" "$quarn" "$adversaries/raceswap" >"$logs/race.log" 2>&1 &
python3 "$here/limits.py" "$quarn" "$adversaries/libquarn-failalloc.so" >"$logs/limits.log" 2>&1 &
python3 "$here/fuzz.py" "$quarn" >"$logs/fuzz.log" 2>&1 &
bash "$here/threads.sh" "$quarn" >"$logs/threads.log" 2>&1 &

failed=0
for name in hostilefs race limits fuzz threads; do
  wait -n || failed=$((failed + 1))
done
for name in hostilefs race limits fuzz threads; do
  echo "== $name ($logs/$name.log)"
  grep -iE 'seed|fail|skip|threads:' "$logs/$name.log" | head -n 40
done
echo "soak: $seconds s each, $failed of 5 adversaries failed"
[ "$failed" -eq 0 ]
