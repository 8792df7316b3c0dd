#!/usr/bin/env bash
# Builds the real platform libraries from their source archives into a prefix
# cached outside the checkout, and prints that prefix as the last line of
# stdout:
#   prefix=$(scripts/build-platform.sh | tail -1)
# `scripts/build-platform.sh --check` only checks that the sources are there:
# silent and 0 if they are, one line and 1 if not.
# Built, in this order, into one prefix: DTK's CMake files (dtkcommon), DTK 6
# core, gui and widget, deepin's Qt style and platform theme plug-ins (under
# <prefix>/plugins), and the file manager's extension library.
#
# QUARN_PLATFORM_SRC    folder of the archives (default: ../shared/platform-src
#                       beside the checkout)
# QUARN_PLATFORM_CACHE  where prefixes are kept (default:
#                       ${XDG_CACHE_HOME:-$HOME/.cache}/quarn-gui/platform)
#
# A prefix is named after the archives' checksums, so a second run with the
# same archives reuses it; concurrent runs wait on a lock for the one build.
# Build output goes to <cache>/<key>.log; progress to stderr.
set -euo pipefail
source "$(dirname "$0")/common.sh"

# Changing how the libraries are built changes this, so no stale prefix is reused.
recipe=1

me=build-platform.sh
check_only=false
case "${1:-}" in
  --check) check_only=true ;;
  "") ;;
  *) echo "usage: scripts/build-platform.sh [--check]" >&2; exit 2 ;;
esac
say() { printf '%s: %s\n' "$me" "$*" >&2; }

src=${QUARN_PLATFORM_SRC:-$QUARN_ROOT/../shared/platform-src}
cache=${QUARN_PLATFORM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarn-gui/platform}

# archive NAME: the one archive NAME-<version>.tar.gz in $src.
archive() {
  local found=("$src/$1"-[0-9]*.tar.gz)
  if [ ! -f "${found[0]}" ]; then
    say "no $1-<version>.tar.gz in $src: the platform sources are absent"
    exit 1
  fi
  if [ ${#found[@]} -ne 1 ]; then
    say "more than one $1-<version>.tar.gz in $src"
    exit 1
  fi
  printf '%s\n' "${found[0]}"
}
version_of() { local base=${1##*/}; base=${base%.tar.gz}; printf '%s\n' "${base##*-}"; }

if [ ! -d "$src" ]; then
  say "platform sources absent: no folder $src (set QUARN_PLATFORM_SRC)"
  exit 1
fi
names=(dtkcommon dtk6core dtk6gui dtk6widget qt6integration dfm-extension)
declare -A tarball
for name in "${names[@]}"; do tarball[$name]=$(archive "$name"); done
$check_only && exit 0

key=$({
  echo "recipe $recipe"
  for name in "${names[@]}"; do
    printf '%s %s\n' "$(sha256sum <"${tarball[$name]}" | cut -d' ' -f1)" "${tarball[$name]##*/}"
  done
} | sha256sum | cut -c1-16)
prefix=$cache/$key
stamp=$prefix/.complete

mkdir -p "$cache"
exec 9>"$cache/$key.lock"
if ! flock -n 9; then
  say "another build of $prefix is running; waiting for it"
  flock 9
fi

if [ -f "$stamp" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi

install_missing_packages "${QUARN_PLATFORM_PACKAGES[@]}" >&2

work=$cache/$key.work
log=$cache/$key.log
rm -rf "$prefix" "$work"
mkdir -p "$prefix" "$work"
: >"$log"
say "building the platform into $prefix (log: $log)"

# step WHAT COMMAND...: runs COMMAND with its output in the log; on failure
# shows the log's end and stops.
step() {
  local what=$1
  shift
  printf '\n### %s: %s\n' "$what" "$*" >>"$log"
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    say "$what failed; the whole log is $log"
    exit 1
  fi
}

unpack() {
  step "unpacking $1" tar -xzf "${tarball[$1]}" -C "$work"
  local base=${tarball[$1]##*/}
  printf '%s\n' "$work/${base%.tar.gz}"
}

common_cmake=(
  -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_INSTALL_PREFIX=$prefix"
  "-DCMAKE_PREFIX_PATH=$prefix"
  -DCMAKE_INSTALL_LIBDIR=lib
)
jobs=${QUARN_PLATFORM_JOBS:-2}

# build_cmake NAME SOURCE_DIR BUILD_DIR [cmake arguments...]: configure,
# build, install.
build_cmake() {
  local name=$1 dir=$2 build=$3
  shift 3
  local started=$SECONDS
  step "configuring $name" cmake -S "$dir" -B "$build" "${common_cmake[@]}" "$@"
  step "building $name" cmake --build "$build" --parallel "$jobs"
  step "installing $name" cmake --install "$build"
  say "$name built in $((SECONDS - started)) s"
}

dtk_off=(-DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DBUILD_PLUGINS=OFF)
for name in dtkcommon dtk6core dtk6gui dtk6widget; do
  dir=$(unpack "$name")
  build_cmake "$name" "$dir" "$dir/build" "-DDTK_VERSION=$(version_of "${tarball[$name]}")" "${dtk_off[@]}"
done

# Deepin's Qt style and platform theme: only those two plug-ins are needed, so
# only they are built and installed.
dir=$(unpack qt6integration)
started=$SECONDS
step "configuring qt6integration" cmake -S "$dir" -B "$dir/build" "${common_cmake[@]}" \
  "-DDTK_VERSION=$(version_of "${tarball[qt6integration]}")" -DBUILD_TESTS=OFF -DPLUGIN_INSTALL_BASE_DIR=plugins
step "building qt6integration" cmake --build "$dir/build" --parallel "$jobs" --target chameleon qdeepin
for sub in styleplugins/chameleon platformthemeplugin; do
  step "installing qt6integration $sub" cmake "-DCMAKE_INSTALL_PREFIX=$prefix" -P "$dir/build/$sub/cmake_install.cmake"
done
say "qt6integration built in $((SECONDS - started)) s"

dir=$(unpack dfm-extension)
build_cmake dfm-extension "$QUARN_ROOT/scripts/platform/dfm-extension" "$dir/build" \
  "-DDFMEXT_SOURCE_DIR=$dir" "-DVERSION=$(version_of "${tarball[dfm-extension]}")"

rm -rf "$work"
touch "$stamp"
say "platform built in $SECONDS s"
printf '%s\n' "$prefix"
