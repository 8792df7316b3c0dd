#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# bench/window-churn.sh [RUNS] [NODES]: builds bench/window-churn (in
# build-leaks, or $QUARN_BENCH_BUILD_DIR) and opens and closes the tree window
# RUNS times (default 200) on a report of NODES nodes (default 10,000) under
# the offscreen platform. Prints resident memory before and after and the
# median time to build and show the window; fails when memory grew by more
# than 5%.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARN_BENCH_BUILD_DIR:-$root/build-leaks}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target window-churn

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$build/bench/window-churn/window-churn" --runs "${1:-200}" --nodes "${2:-10000}" --max-growth 5
