#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

install_missing_packages "${QUARN_PACKAGES[@]}"
configure_and_build "$QUARN_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$QUARN_ROOT/build" --output-on-failure --parallel "$(nproc)"
