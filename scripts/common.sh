# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Shared set-up for run.sh and test.sh: install what is missing, then build.
# Sourced, not run; expects bash and `set -euo pipefail` from the caller.

QUARN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the tests and the demo need.
QUARN_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  xvfb xauth
  fonts-noto-cjk fonts-dejavu-core fontconfig
  util-linux coreutils strace python3
  ncdu gdu
  libfuse3-dev fuse3
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  # On a throw-away CI machine dpkg need not sync each file it unpacks: a
  # fresh machine installs over a thousand packages, mostly waiting on that.
  local unsafe_io=()
  [ -n "${CI:-}" ] && unsafe_io=(-o Dpkg::Options::=--force-unsafe-io)
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${unsafe_io[@]}" "${missing[@]}"
}

# configure_and_build BUILD_DIR [extra cmake arguments...]: builds every
# target, or those named in QUARN_BUILD_TARGETS (space-separated).
configure_and_build() {
  local dir=$1
  shift
  local werror=OFF targets=()
  [ -n "${CI:-}" ] && werror=ON
  [ -n "${QUARN_BUILD_TARGETS:-}" ] && read -r -a targets <<<"--target $QUARN_BUILD_TARGETS"
  cmake -S "$QUARN_ROOT" -B "$dir" -DQUARN_WERROR="$werror" "$@"
  cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# build_on_real_platform BUILD_DIR [extra cmake arguments...]: builds the real
# platform libraries from source (once; scripts/build-platform.sh caches
# them), then configures and builds BUILD_DIR against them. Sets
# QUARN_PLATFORM_PREFIX to their prefix.
build_on_real_platform() {
  local dir=$1
  shift
  install_missing_packages "${QUARN_PLATFORM_PACKAGES[@]}"
  QUARN_PLATFORM_PREFIX=$("$QUARN_ROOT/scripts/build-platform.sh" | tail -n 1)
  configure_and_build "$dir" -DQUARN_DTK=ON -DQUARN_DFM_EXTENSION=ON \
    "-DCMAKE_PREFIX_PATH=$QUARN_PLATFORM_PREFIX" "$@"
}

# Further packages for the full check: sanitizers' and fuzzers' compiler
# runtime, the leak check, Debian packaging and the packages' tests in a
# throw-away root.
QUARN_CHECK_PACKAGES=(
  clang libclang-rt-14-dev
  valgrind
  dpkg-dev debhelper lintian
  autopkgtest mmdebstrap uidmap
)

# Debian packages that building the real platform libraries from source
# (scripts/build-platform.sh) and running on them need.
QUARN_PLATFORM_PACKAGES=(
  qt6-base-private-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-svg-dev qt6-image-formats-plugins
  libuchardet-dev libicu-dev libspdlog-dev libfmt-dev libdbus-1-dev libsystemd-dev
  librsvg2-dev libfreeimage-dev libraw-dev libudev-dev
  libxext-dev x11proto-xext-dev libxcb-util0-dev libstartup-notification0-dev libmtdev-dev
  libegl1-mesa-dev libfontconfig1-dev libfreetype-dev libglib2.0-dev libxrender-dev libxi-dev
  libcups2-dev
)

# sanitizer_suppressions asan|lsan: the option naming our suppression file, if any.
sanitizer_suppressions() {
  local file="$QUARN_ROOT/tests/sanitizers/$1.supp"
  [ -f "$file" ] && printf 'suppressions=%s' "$file"
  return 0
}
