#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the Debian packages from a clean copy of the sources and checks them:
# what they install (the extension in the file manager's extension folder,
# the scanner and its manual page, nothing from the stand-ins), their
# dependencies, a scanner that runs, nothing at all from lintian (-I -E
# --pedantic), byte-identical packages from a second build in another folder,
# and their installed-package tests (debian/tests, autopkgtest) in a
# throw-away root (autopkgtest-virt-unshare on a tarball that
# tests/package/testbed.sh makes once): nothing is installed on this machine.
#
# On plain Debian the packages build with the profile pkg.quarn-gui.standin
# (our DTK and extension-library stand-ins). When the real platform's sources
# are there (scripts/build-platform.sh --check), they are built into a prefix
# by scripts/build-platform.sh (or QUARN_PLATFORM_PREFIX names one), and the
# packages are built a second time without the profile, as on deepin, against
# that prefix: the plug-in must then link the real libraries, carry none of
# the stand-ins' code and depend on their packages, and its tests run with
# those libraries installed as deepin's packages
# (tests/package/platform-debs.sh makes them). /etc/subuid and /etc/subgid
# change for the run only (tests/package/subids.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/common.sh"
source "$root/tests/package/subids.sh"
work=$(mktemp -d)
trap 'subids_release; rm -rf "$work"' EXIT
fail() { echo "check-packages: $*" >&2; exit 1; }
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
plugin_path=/usr/lib/$arch/dde-file-manager/plugins/extensions/libquarn-gui.so
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
# A build on the stand-ins marks its packages' version, so that it sorts below
# the same release built on deepin's libraries.
standin_version=$version~standin

# The moc class name of the DTK stand-in's dialog: compiled into the plug-in
# only when the stand-in is linked in statically. A plug-in on real DTK refers
# to that class through mangled symbols only.
standin_marker='Dtk::Widget::DDialog'

# copy_sources NAME: a clean copy of the sources in $work/NAME/src.
copy_sources() {
  mkdir -p "$work/$1/src"
  tar -C "$root" --exclude='./build*' --exclude='./.git' --exclude='./bench/tree' -cf - . | tar -C "$work/$1/src" -xf -
}

# build_packages NAME VERSION [dpkg-buildpackage options]: builds in
# $work/NAME/src packages of that version and unpacks them into $work/NAME/root.
build_packages() {
  local dir=$work/$1 binary_version=$2 pkg deb
  shift 2
  (cd "$dir/src" && dpkg-buildpackage -us -uc "$@" >"$dir/build.log" 2>&1) ||
    {
      grep -A 4 '^FAIL!' "$dir/build.log" >&2 || true # a failed test's lines, which the tail may miss
      tail -n 40 "$dir/build.log" >&2
      fail "dpkg-buildpackage $* failed"
    }
  for pkg in quarn-gui quarn; do
    deb=$dir/${pkg}_${binary_version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
    [ -f "$deb" ] || fail "no package $pkg was built"
    dpkg-deb -x "$deb" "$dir/root"
    dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' >"$dir/$pkg.files"
  done
}

# check_packages NAME VERSION: what every build of the packages must hold.
check_packages() {
  local dir=$work/$1 binary_version=$2 depends sym out exported description
  expect_files "$dir" quarn-gui "$plugin_path"
  expect_files "$dir" quarn /usr/bin/quarn /usr/share/man/man1/quarn.1.gz

  depends=$(dpkg-deb -f "$dir"/quarn-gui_*.deb Depends)
  grep -qF "quarn (= $binary_version)" <<<"$depends" ||
    fail "$1: quarn-gui does not depend on quarn (= $binary_version): $depends"
  # Whether the plug-in needs a library no dependency names, in its summary
  # and its last paragraph.
  description=$(dpkg-deb -f "$dir"/quarn-gui_*.deb Description)
  if [ "$binary_version" = "$standin_version" ]; then
    grep -q '^disk-usage .* (stand-in build)$' <<<"$description" &&
      grep -qz 'stand-ins.*libdfm-extension\.so\.1.*no dependency' <<<"$description" ||
      fail "$1: the description does not say that it is a stand-in build: $description"
  elif grep -qi 'stand-in' <<<"$description"; then
    fail "$1: the description calls it a stand-in build: $description"
  fi
  grep -q libqt6widgets6 <<<"$depends" || fail "$1: quarn-gui lacks its Qt dependency: $depends"
  [ "$(dpkg-deb -f "$dir"/quarn_*.deb Multi-Arch)" = foreign ] || fail "$1: quarn is not Multi-Arch: foreign"

  # Listed into a variable first: `nm | grep -q` under pipefail fails
  # whenever grep stops reading before nm has written everything.
  exported=$(nm -D --defined-only "$dir/root$plugin_path")
  for sym in dfm_extension_initialize dfm_extension_initiliaze dfm_extension_shutdown dfm_extension_menu; do
    grep -qw "$sym" <<<"$exported" || fail "$1: the plug-in does not export $sym"
  done
  readelf -d "$dir/root$plugin_path" "$dir/root/usr/bin/quarn" | grep -qE '\((RPATH|RUNPATH)\)' &&
    fail "$1: an installed binary carries a run path: $(readelf -d "$dir/root$plugin_path" | grep PATH)"

  mkdir -p "$dir/scan/sub"
  head -c 5000 /dev/zero >"$dir/scan/sub/file"
  out=$("$dir/root/usr/bin/quarn" -n 3 -j "$dir/scan") || fail "$1: the packaged quarn failed"
  grep -q '"name"' <<<"$out" || fail "$1: the packaged quarn printed no report: $out"

  # Every tag counts, informational and pedantic ones included.
  lintian --allow-root -I -E --pedantic "$dir"/*.changes >"$dir/lintian.log" 2>&1 || true
  if [ -s "$dir/lintian.log" ]; then
    cat "$dir/lintian.log" >&2
    fail "$1: lintian -I -E --pedantic reports the above"
  fi
  echo "check-packages: $1: lintian -I -E --pedantic: nothing to report"
  echo "check-packages: $1: quarn-gui depends on $depends"
}

expect_files() { # dir, package, expected files (exactly, besides /usr/share/doc)
  local dir=$1 pkg=$2
  shift 2
  local actual expected
  actual=$(grep -v '^/usr/share/doc/' "$dir/$pkg.files" | sort)
  expected=$(printf '%s\n' "$@" | sort)
  [ "$actual" = "$expected" ] || fail "$pkg installs:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
  grep -q "^/usr/share/doc/$pkg/copyright$" "$dir/$pkg.files" || fail "$pkg has no copyright file"
  grep -q "^/usr/share/doc/$pkg/changelog.gz$" "$dir/$pkg.files" || fail "$pkg has no changelog"
}

# compare_builds A B: every binary package of build A is byte-identical to
# B's; otherwise names the files inside that differ.
compare_builds() {
  local a=$work/$1 b=$work/$2 deb name differ=0 files
  for deb in "$a"/*.deb; do
    name=${deb##*/}
    [ -f "$b/$name" ] || fail "the build in $b made no $name"
    cmp -s "$deb" "$b/$name" && continue
    differ=1
    rm -rf "$work/cmp" && mkdir -p "$work/cmp"
    dpkg-deb -R "$deb" "$work/cmp/a"
    dpkg-deb -R "$b/$name" "$work/cmp/b"
    files=$(diff -rq --no-dereference "$work/cmp/a" "$work/cmp/b" | sed -e "s|^Files $work/cmp/a\(.*\) and .* differ$|  \1|" \
      -e "s|^Only in $work/cmp/a\(.*\): \(.*\)|  \1/\2 (only in the first build)|" \
      -e "s|^Only in $work/cmp/b\(.*\): \(.*\)|  \1/\2 (only in the second build)|" || true)
    [ -n "$files" ] || files="the same files; the archives differ in owners, modes or dates"
    echo "check-packages: $name differs between the two builds:"$'\n'"$files" >&2
  done
  [ "$differ" -eq 0 ] || fail "the packages are not reproducible"
  echo "check-packages: $(cd "$a" && ls ./*.deb | wc -l) packages byte-identical from builds in two folders"
}

# run_autopkgtest NAME DEB...: debian/tests on the given packages, installed
# into a throw-away root.
run_autopkgtest() {
  local name=$1 log=$work/$1/autopkgtest.log status=0
  shift
  autopkgtest --no-built-binaries "$@" "$work/standin/quarn-gui_$version.dsc" \
    -- unshare --tarball "$testbed" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    fail "$name: autopkgtest failed (status $status); the whole log was $log"
  fi
  sed -n '/@@@@@@@@@@@@@@@@@@@@ summary/,$p' "$log" | sed 1d | sed "s/^/check-packages: $name: autopkgtest: /"
  grep -h '^plugin: the host uses' "$log" | sed "s/^/check-packages: $name: autopkgtest: /"
}

install_missing_packages mmdebstrap autopkgtest uidmap
subids_hold
testbed=$("$root/tests/package/testbed.sh" | tail -n 1)

copy_sources standin
build_packages standin "$standin_version" -Ppkg.quarn-gui.standin
check_packages standin "$standin_version"
# The marker must be there, or its absence below would prove nothing.
grep -qaF "$standin_marker" "$work/standin/root$plugin_path" ||
  fail "the stand-in build lacks '$standin_marker': the real-platform check cannot tell them apart"
echo "check-packages: built with the stand-ins (profile pkg.quarn-gui.standin) and checked"

# The same sources in a folder of another name and depth, without the
# build-time tests, which must not change the packages either.
copy_sources second/build-elsewhere
DEB_BUILD_OPTIONS=nocheck build_packages second/build-elsewhere "$standin_version" -b -Ppkg.quarn-gui.standin
compare_builds standin second/build-elsewhere

run_autopkgtest standin "$work"/standin/quarn{,-gui}_"$standin_version"_*.deb

prefix=${QUARN_PLATFORM_PREFIX:-}
if [ -z "$prefix" ]; then
  if ! why=$("$root/scripts/build-platform.sh" --check 2>&1); then
    echo "check-packages: the build against real DTK is skipped: ${why//build-platform.sh: /}"
    exit 0
  fi
  prefix=$("$root/scripts/build-platform.sh" | tail -n 1)
fi
[ -d "$prefix/lib" ] || fail "the real platform's prefix $prefix has no lib folder"

# The platform's libraries as deepin's packages, whose dependency information
# (shlibs.local in the build) the build needs as on deepin.
"$root/tests/package/platform-debs.sh" "$prefix" "$work/platform-debs"
copy_sources real
cp "$work/platform-debs/shlibs.local" "$work/real/src/debian/shlibs.local"
# deepin's -dev packages are not installed here: -d skips the build-dependency
# check, and CMAKE_PREFIX_PATH leads CMake to the prefix instead. The
# scanner's tests ran in the first build.
CMAKE_PREFIX_PATH=$prefix${CMAKE_PREFIX_PATH:+:$CMAKE_PREFIX_PATH} DEB_BUILD_OPTIONS=nocheck build_packages real "$version" -b -d
check_packages real "$version"
needed=$(readelf -d "$work/real/root$plugin_path" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in libdtk6widget libdfm-extension; do
  grep -q "^$lib\.so" <<<"$needed" || fail "the plug-in built on the real platform does not link $lib:"$'\n'"$needed"
  grep -qE "(^|, )$lib \(>= " <<<"$(dpkg-deb -f "$work"/real/quarn-gui_*.deb Depends)" ||
    fail "the plug-in built on the real platform does not depend on the package $lib"
done
imported=$(nm -D --undefined-only "$work/real/root$plugin_path")
grep -q '_ZN3Dtk6Widget7DDialogC[12]E' <<<"$imported" ||
  fail "the plug-in built on the real platform does not take DDialog from DTK"
if grep -qaF "$standin_marker" "$work/real/root$plugin_path"; then
  fail "the plug-in built on the real platform carries the DTK stand-in ('$standin_marker')"
fi
echo "check-packages: built against the real platform in $prefix: links $(grep -E '^lib(dtk6widget|dfm-extension)' <<<"$needed" | paste -sd ' '), no stand-in code"

run_autopkgtest real "$work"/real/quarn{,-gui}_"$version"_*.deb "$work"/platform-debs/*.deb
