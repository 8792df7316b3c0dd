#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, builds, and runs the whole test suite:
#   1. every test (CTest) on the normal build;
#   2. the same tests, less the scanner's, on a build against the real
#      platform libraries (DTK 6, deepin's style, the file manager's extension
#      library) built from their sources by scripts/build-platform.sh, when
#      those sources are there;
#   3. the same tests on a build with AddressSanitizer and UBSan;
#   4. every fuzz target for a short while;
#   5. valgrind's leak check over menu-host with a text and a tree window;
#   6. the Debian packages, built and checked in a throw-away root and by lintian.
# `./test.sh --quick` runs step 1 only.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: ./test.sh [--quick]" >&2; exit 2 ;;
esac

stage() { printf '\n==== %s (%d s in) ====\n' "$*" "$SECONDS"; }

if $quick; then
  install_missing_packages "${QUARN_PACKAGES[@]}"
else
  # Everything the stages need, in one transaction: one index update, and
  # each trigger (libraries, fonts, manual pages) run once.
  platform=()
  "$QUARN_ROOT/scripts/build-platform.sh" --check >/dev/null 2>&1 && platform=("${QUARN_PLATFORM_PACKAGES[@]}")
  install_missing_packages "${QUARN_PACKAGES[@]}" "${QUARN_CHECK_PACKAGES[@]}" "${platform[@]}"
fi

stage "Build and test"
configure_and_build "$QUARN_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$QUARN_ROOT/build" --output-on-failure --parallel "$(nproc)"
$quick && exit 0

# check_loads_real_platform BUILD PREFIX: menu-host with the plug-in, in the
# tests' environment (DTK's libraries find each other through the library
# path), loads the extension library and DTK from PREFIX, not a stand-in or
# another copy.
check_loads_real_platform() {
  local build=$1 prefix=$2 loaded lib path
  loaded=$(LD_LIBRARY_PATH="$prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" LD_DEBUG=libs \
    QT_QPA_PLATFORM=offscreen "$build/host/menu-host" "$build/src/libquarn-gui.so" /tmp 2>&1 >/dev/null |
    sed -n 's/.*calling init: //p') || true
  for lib in libdfm-extension.so.1 libdtk6widget.so.6; do
    path=$(grep -m 1 "/$lib\$" <<<"$loaded" || true)
    if [[ "$path" != "$prefix"/* ]]; then
      echo "menu-host with the plug-in loaded $lib from '${path:-nowhere}', not from $prefix" >&2
      return 1
    fi
    echo "menu-host with the plug-in loads $path"
  done
}

stage "Build and test on the real platform libraries"
if why=$("$QUARN_ROOT/scripts/build-platform.sh" --check 2>&1); then
  build_on_real_platform "$QUARN_ROOT/build-real" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  check_loads_real_platform "$QUARN_ROOT/build-real" "$QUARN_PLATFORM_PREFIX"
  # The scanner links nothing of the platform: its tests and adversaries
  # have run on the first build already.
  ctest --test-dir "$QUARN_ROOT/build-real" --output-on-failure --parallel "$(nproc)" \
    --exclude-regex '^(scanner\.|adversary\.|hostile\.tst_hostilescanner$)'
else
  echo "Real platform stage skipped: ${why#build-platform.sh: }"
fi

stage "Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build "$QUARN_ROOT/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUARN_SANITIZE=ON
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:$(sanitizer_suppressions asan)" \
LSAN_OPTIONS="$(sanitizer_suppressions lsan)" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$QUARN_ROOT/build-sanitize" --output-on-failure --parallel "$(nproc)"

stage "The scanner's threads under ThreadSanitizer"
QUARN_BUILD_TARGETS=quarn configure_and_build "$QUARN_ROOT/build-threads" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_SANITIZE_THREADS=ON
ctest --test-dir "$QUARN_ROOT/build-threads" --output-on-failure --tests-regex '^adversary\.threads$'

if [ -x "$QUARN_ROOT/fuzz/run.sh" ]; then
  stage "Fuzzing"
  "$QUARN_ROOT/fuzz/run.sh" "${QUARN_FUZZ_SECONDS:-20}"
fi

if [ -x "$QUARN_ROOT/tests/leaks/valgrind.sh" ]; then
  stage "Leak check with valgrind"
  "$QUARN_ROOT/tests/leaks/valgrind.sh" "$QUARN_ROOT/build"
fi

stage "Debian packages"
if command -v dpkg-buildpackage >/dev/null; then
  "$QUARN_ROOT/tests/package/check-packages.sh"
else
  echo "dpkg-buildpackage is not installed: package check skipped"
fi

echo "test.sh: every stage passed in $SECONDS s"
