#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite:
#   1. every test (CTest) on the normal build;
#   2. the same tests on a build with AddressSanitizer and UBSan;
#   3. every fuzz target for a short while;
#   4. valgrind's leak check over menu-host with a text and a tree window;
#   5. the Debian packages, built and checked in a throw-away root and by lintian.
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
  install_missing_packages "${QUARN_PACKAGES[@]}" "${QUARN_CHECK_PACKAGES[@]}"
fi

stage "Build and test"
configure_and_build "$QUARN_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$QUARN_ROOT/build" --output-on-failure --parallel "$(nproc)"
$quick && exit 0

stage "Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build "$QUARN_ROOT/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUARN_SANITIZE=ON
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:$(sanitizer_suppressions asan)" \
LSAN_OPTIONS="$(sanitizer_suppressions lsan)" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$QUARN_ROOT/build-sanitize" --output-on-failure --parallel "$(nproc)"

if [ -x "$QUARN_ROOT/fuzz/run.sh" ]; then
  stage "Fuzzing"
  "$QUARN_ROOT/fuzz/run.sh" "${QUARN_FUZZ_SECONDS:-30}"
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
