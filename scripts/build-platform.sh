#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the real platform libraries from their source archives into a prefix
# cached outside the checkout, and prints that prefix as the last line of
# stdout:
#   prefix=$(scripts/build-platform.sh | tail -1)
# `scripts/build-platform.sh --check` only checks the sources: silent and 0
# when every archive is there and matches its checksum, otherwise a line for
# each archive that is missing or wrong and 1.
# Built, in this order, into one prefix: DTK's CMake files (dtkcommon), DTK 6
# core, gui and widget, deepin's Qt style and platform theme plug-ins (under
# <prefix>/plugins), and the file manager's extension library.
#
# The archives, their versions, checksums and upstream addresses are listed in
# scripts/platform/sources.
#
# QUARN_PLATFORM_SRC    folder of the archives (default: ../shared/platform-src
#                       beside the checkout)
# QUARN_PLATFORM_CACHE  where prefixes are kept (default:
#                       ${XDG_CACHE_HOME:-$HOME/.cache}/quarn-gui/platform)
#
# A prefix is named after the archives' checksums, so a second run with the
# same archives reuses it; concurrent runs wait on a lock for the one build,
# and a build that was cut off resumes after the last library it installed.
# Build output goes to <cache>/<key>.log; progress to stderr.
set -euo pipefail
source "$(dirname "$0")/common.sh"

# Changing how the libraries are built changes this, so no stale prefix is reused.
recipe=1

me=build-platform.sh
say() { printf '%s: %s\n' "$me" "$*" >&2; }

# read_manifest: fills names (in build order), and version, sha256,
# tar_sha256 and url by name, from scripts/platform/sources.
read_manifest() {
  local name ver sum tar_sum commit link
  names=()
  declare -gA version sha256 tar_sha256 url
  while read -r name ver sum tar_sum commit link; do
    case "$name" in "" | "#"*) continue ;; esac
    names+=("$name")
    version[$name]=$ver sha256[$name]=$sum tar_sha256[$name]=$tar_sum url[$name]=$link
  done <"$QUARN_ROOT/scripts/platform/sources"
}

# check_sources: sets tarball[NAME] for every archive, or says in one line
# each what is missing or wrong and exits 1.
check_sources() {
  local name file actual bad=0
  declare -gA tarball
  if [ ! -d "$src" ]; then
    say "platform sources absent: no folder $src (set QUARN_PLATFORM_SRC)"
    exit 1
  fi
  for name in "${names[@]}"; do
    file=$src/$name-${version[$name]}.tar.gz
    tarball[$name]=$file
    if [ ! -f "$file" ]; then
      say "missing $file (from ${url[$name]})"
      bad=1
      continue
    fi
    actual=$(sha256sum <"$file" | cut -d' ' -f1)
    [ "$actual" = "${sha256[$name]}" ] && continue
    # The same tar compressed otherwise will do.
    [ "$( (gzip -dc <"$file" 2>/dev/null || true) | sha256sum | cut -d' ' -f1)" = "${tar_sha256[$name]}" ] && continue
    say "wrong $file: SHA-256 $actual, expected ${sha256[$name]} (or a tar inside with ${tar_sha256[$name]})"
    bad=1
  done
  [ "$bad" -eq 0 ] || exit 1
}

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

# unpack NAME: unpacks NAME's archive into the work folder, prints its top folder.
unpack() {
  step "unpacking $1" tar -xzf "${tarball[$1]}" -C "$work"
  local base=${tarball[$1]##*/}
  printf '%s\n' "$work/${base%.tar.gz}"
}

# built NAME: whether NAME is already installed in the prefix; done NAME marks it so.
built() { [ -f "$prefix/.built/$1" ]; }
done_with() {
  mkdir -p "$prefix/.built"
  touch "$prefix/.built/$1"
  say "$1 built in $((SECONDS - started)) s"
}

# build_cmake NAME SOURCE_DIR BUILD_DIR [cmake arguments...]: configure,
# build, install.
build_cmake() {
  local name=$1 dir=$2 build=$3
  shift 3
  step "configuring $name" cmake -S "$dir" -B "$build" "${common_cmake[@]}" "$@"
  step "building $name" cmake --build "$build" --parallel "$jobs"
  step "installing $name" cmake --install "$build"
}

main() {
  local check_only=false
  case "${1:-}" in
    --check) check_only=true ;;
    "") ;;
    *) echo "usage: scripts/build-platform.sh [--check]" >&2; exit 2 ;;
  esac

  src=${QUARN_PLATFORM_SRC:-$QUARN_ROOT/../shared/platform-src}
  local cache=${QUARN_PLATFORM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarn-gui/platform}
  local name
  read_manifest
  check_sources
  $check_only && exit 0

  local key
  key=$({
    echo "recipe $recipe"
    for name in "${names[@]}"; do
      printf '%s %s\n' "${sha256[$name]}" "${tarball[$name]##*/}"
    done
  } | sha256sum | cut -c1-16)
  prefix=$cache/$key
  work=$cache/$key.work
  log=$cache/$key.log

  mkdir -p "$cache"
  exec 9>"$cache/$key.lock"
  if ! flock -n 9; then
    say "another build of $prefix is running; waiting for it"
    flock 9
  fi
  if [ -f "$prefix/.complete" ]; then
    printf '%s\n' "$prefix"
    exit 0
  fi

  install_missing_packages "${QUARN_PLATFORM_PACKAGES[@]}" >&2
  mkdir -p "$prefix" "$work"
  say "building the platform into $prefix (log: $log)"

  common_cmake=(
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_INSTALL_PREFIX=$prefix"
    "-DCMAKE_PREFIX_PATH=$prefix"
    -DCMAKE_INSTALL_LIBDIR=lib
  )
  jobs=${QUARN_PLATFORM_JOBS:-2}
  local dir sub
  local dtk_off=(-DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DBUILD_PLUGINS=OFF)
  for name in dtkcommon dtk6core dtk6gui dtk6widget; do
    built "$name" && continue
    started=$SECONDS
    dir=$(unpack "$name")
    build_cmake "$name" "$dir" "$dir/build" "-DDTK_VERSION=${version[$name]}" "${dtk_off[@]}"
    done_with "$name"
  done

  # Deepin's Qt style and platform theme: only those two plug-ins are needed,
  # so only they are built and installed.
  if ! built qt6integration; then
    started=$SECONDS
    dir=$(unpack qt6integration)
    step "configuring qt6integration" cmake -S "$dir" -B "$dir/build" "${common_cmake[@]}" \
      "-DDTK_VERSION=${version[qt6integration]}" -DBUILD_TESTS=OFF -DPLUGIN_INSTALL_BASE_DIR=plugins
    step "building qt6integration" cmake --build "$dir/build" --parallel "$jobs" --target chameleon qdeepin
    for sub in styleplugins/chameleon platformthemeplugin; do
      step "installing qt6integration $sub" \
        cmake "-DCMAKE_INSTALL_PREFIX=$prefix" -P "$dir/build/$sub/cmake_install.cmake"
    done
    done_with qt6integration
  fi

  if ! built dfm-extension; then
    started=$SECONDS
    dir=$(unpack dfm-extension)
    build_cmake dfm-extension "$QUARN_ROOT/scripts/platform/dfm-extension" "$dir/build" \
      "-DDFMEXT_SOURCE_DIR=$dir" "-DVERSION=${version[dfm-extension]}"
    done_with dfm-extension
  fi

  rm -rf "$work"
  touch "$prefix/.complete"
  say "platform built in $SECONDS s"
  printf '%s\n' "$prefix"
}

# The whole script is read before it runs, so it can be changed while a build runs.
main "$@"
exit
