#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# testbed.sh: prints the path of a root file system tarball for
# autopkgtest-virt-unshare: this machine's Debian release, from the archive its
# apt uses, with what the packages' tests depend on installed beforehand, so a
# test run installs only the packages under test and downloads nothing.
# Built once by mmdebstrap (several minutes) and kept in
# ${XDG_CACHE_HOME:-~/.cache}/quarn-gui/testbed/, named after what it holds;
# concurrent callers wait for the one build on a lock.
# mmdebstrap run by a user other than root maps the root's users onto
# subordinate ids, which tests/package/subids.sh gives for the run only.
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$(dirname "$0")/subids.sh"
trap subids_release EXIT
say() { printf 'testbed.sh: %s\n' "$*" >&2; }

# What debian/tests/control depends on besides the packages under test, apt's
# archive tools autopkgtest uses, and the libraries the real DTK 6 and the
# extension library link (for the packages tests/package/platform-debs.sh
# makes of them).
packages=(
  apt-utils
  build-essential cmake pkg-config qt6-base-dev libgl-dev
  libqt6dbus6 libqt6network6 libqt6printsupport6 libqt6xml6 libfmt9 libspdlog1.10-fmt9 libgomp1
  libglib2.0-0 libstartup-notification0 libx11-6 libxcb1 libxcb-util1 libxext6 libxi6
)

main() {
  local suite sources file key cache tarball
  install_missing_packages mmdebstrap autopkgtest uidmap >&2
  subids_hold
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  sources=()
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -s "$file" ] && sources+=("$file")
  done
  key=$({
    echo "$suite $(dpkg --print-architecture) ${packages[*]}"
    cat "${sources[@]}"
  } | sha256sum | cut -c1-16)
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/quarn-gui/testbed
  tarball=$cache/$suite-$key.tar
  mkdir -p "$cache"
  exec 9>"$tarball.lock"
  if ! flock -n 9; then
    say "another build of $tarball is running; waiting for it"
    flock 9
  fi
  if [ ! -f "$tarball" ]; then
    say "building $tarball with mmdebstrap (log: $tarball.log)"
    # The archive's Release files may be older than their Valid-Until on a
    # machine whose apt reads a snapshot; apt on the host accepts them too.
    if ! mmdebstrap --variant=apt --format=tar --aptopt='Acquire::Check-Valid-Until "false"' \
      --include="$(IFS=,; echo "${packages[*]}")" "$suite" "$tarball.part" "${sources[@]}" >"$tarball.log" 2>&1; then
      tail -n 20 "$tarball.log" >&2
      say "mmdebstrap failed; the whole log is $tarball.log"
      exit 1
    fi
    mv "$tarball.part" "$tarball"
  fi
  printf '%s\n' "$tarball"
}

main "$@"
exit
