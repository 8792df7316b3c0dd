#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# check-install.sh BUILD_DIR CONFIGURED_PREFIX EXPECTED_FILE...
# Installs BUILD_DIR twice, into a throw-away DESTDIR and with
# `cmake --install --prefix` into another folder, and checks that exactly the
# expected files (paths relative to the prefix) arrive under the prefix each
# time: the extension, the scanner and its manual page, nothing from the
# stand-ins or the test tools, nothing outside the prefix.
set -euo pipefail
build=$1
configured=${2%/}
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# check_tree HOW ROOT PREFIX: the files under ROOT are the expected ones under PREFIX.
check_tree() {
  local actual expected
  actual=$(cd "$2" && find . -type f -o -type l | sed 's|^\./|/|' | sort)
  expected=$(printf '%s\n' "${files[@]/#/$3/}" | sort)
  if [ "$actual" != "$expected" ]; then
    printf 'check-install (%s): installed\n%s\nexpected\n%s\n' "$1" "$actual" "$expected" >&2
    exit 1
  fi
}
files=("$@")

DESTDIR=$work/dest cmake --install "$build" >/dev/null
check_tree DESTDIR "$work/dest" "$configured"

cmake --install "$build" --prefix "$work/prefix/opt/q" >/dev/null
check_tree --prefix "$work/prefix" /opt/q

echo "check-install: ${#files[@]} files installed under the prefix, with DESTDIR and with --prefix"
