#!/usr/bin/env bash
# Builds the Debian packages from a clean copy of the sources, unpacks them
# into a throw-away root and checks what they install: the extension in the
# file manager's extension folder, the scanner and its manual page, nothing
# from the stand-ins, a scanner that runs, and no lintian error or warning.
#
# On plain Debian the packages build with the profile pkg.quarn-gui.standin
# (our DTK and extension-library stand-ins). When the real platform's sources
# are there (../shared/platform-src or QUARN_PLATFORM_SRC), they are built
# into a prefix by scripts/build-platform.sh (or QUARN_PLATFORM_PREFIX names
# one), and the packages are built a second time without the profile, as on
# deepin, against that prefix: the plug-in must then link the real libraries
# and carry none of the stand-ins' code.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-packages: $*" >&2; exit 1; }
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
plugin_path=/usr/lib/$arch/dde-file-manager/plugins/extensions/libquarn-gui.so

# The moc class name of the DTK stand-in's dialog: compiled into the plug-in
# only when the stand-in is linked in statically. A plug-in on real DTK refers
# to that class through mangled symbols only.
standin_marker='Dtk::Widget::DDialog'

# build_packages NAME [dpkg-buildpackage options]: builds from a copy of the
# sources in $work/NAME and unpacks the packages into $work/NAME/root.
build_packages() {
  local dir=$work/$1 pkg deb
  shift
  mkdir -p "$dir/src"
  tar -C "$root" --exclude='./build*' --exclude='./.git' --exclude='./bench/tree' -cf - . | tar -C "$dir/src" -xf -
  (cd "$dir/src" && dpkg-buildpackage -us -uc -b "$@" >"$dir/build.log" 2>&1) ||
    { tail -n 40 "$dir/build.log" >&2; fail "dpkg-buildpackage $* failed"; }
  for pkg in quarn-gui quarn; do
    deb=$(ls "$dir"/${pkg}_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || fail "no package $pkg was built"
    dpkg-deb -x "$deb" "$dir/root"
    dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' >"$dir/$pkg.files"
  done
}

# check_packages NAME: what every build of the packages must hold.
check_packages() {
  local dir=$work/$1 depends sym out exported
  expect_files "$dir" quarn-gui "$plugin_path"
  expect_files "$dir" quarn /usr/bin/quarn /usr/share/man/man1/quarn.1.gz

  depends=$(dpkg-deb -f "$dir"/quarn-gui_*.deb Depends)
  grep -qw quarn <<<"$depends" || fail "$1: quarn-gui does not depend on quarn: $depends"
  grep -q libqt6widgets6 <<<"$depends" || fail "$1: quarn-gui lacks its Qt dependency: $depends"

  # Listed into a variable first: `nm | grep -q` under pipefail fails
  # whenever grep stops reading before nm has written everything.
  exported=$(nm -D --defined-only "$dir/root$plugin_path")
  for sym in dfm_extension_initialize dfm_extension_initiliaze dfm_extension_shutdown dfm_extension_menu; do
    grep -qw "$sym" <<<"$exported" || fail "$1: the plug-in does not export $sym"
  done

  mkdir -p "$dir/scan/sub"
  head -c 5000 /dev/zero >"$dir/scan/sub/file"
  out=$("$dir/root/usr/bin/quarn" -n 3 -j "$dir/scan") || fail "$1: the packaged quarn failed"
  grep -q '"name"' <<<"$out" || fail "$1: the packaged quarn printed no report: $out"

  # Errors and warnings fail; informational tags are shown.
  if ! lintian --fail-on error,warning "$dir"/*.changes >"$dir/lintian.log" 2>&1; then
    cat "$dir/lintian.log" >&2
    fail "$1: lintian reports errors or warnings"
  fi
  echo "check-packages: $1: lintian: no error or warning"
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

build_packages standin -Ppkg.quarn-gui.standin
check_packages standin
# The marker must be there, or its absence below would prove nothing.
grep -qaF "$standin_marker" "$work/standin/root$plugin_path" ||
  fail "the stand-in build lacks '$standin_marker': the real-platform check cannot tell them apart"
echo "check-packages: built with the stand-ins (profile pkg.quarn-gui.standin) and checked"

platform_src=${QUARN_PLATFORM_SRC:-$root/../shared/platform-src}
prefix=${QUARN_PLATFORM_PREFIX:-}
if [ -z "$prefix" ]; then
  if [ ! -d "$platform_src" ]; then
    echo "check-packages: no real platform sources at $platform_src: the build against real DTK is skipped"
    exit 0
  fi
  if [ ! -x "$root/scripts/build-platform.sh" ]; then
    echo "check-packages: no scripts/build-platform.sh to build the platform at $platform_src: the build against real DTK is skipped"
    exit 0
  fi
  prefix=$("$root/scripts/build-platform.sh" | tail -n 1)
fi
[ -d "$prefix/lib" ] || fail "the real platform's prefix $prefix has no lib folder"

# deepin's -dev packages are not installed here: -d skips the build-dependency
# check, and CMAKE_PREFIX_PATH leads CMake to the prefix instead.
CMAKE_PREFIX_PATH=$prefix${CMAKE_PREFIX_PATH:+:$CMAKE_PREFIX_PATH} build_packages real -d
check_packages real
needed=$(readelf -d "$work/real/root$plugin_path" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in libdtk6widget libdfm-extension; do
  grep -q "^$lib\.so" <<<"$needed" || fail "the plug-in built on the real platform does not link $lib:"$'\n'"$needed"
done
imported=$(nm -D --undefined-only "$work/real/root$plugin_path")
grep -q '_ZN3Dtk6Widget7DDialogC[12]E' <<<"$imported" ||
  fail "the plug-in built on the real platform does not take DDialog from DTK"
if grep -qaF "$standin_marker" "$work/real/root$plugin_path"; then
  fail "the plug-in built on the real platform carries the DTK stand-in ('$standin_marker')"
fi
echo "check-packages: built against the real platform in $prefix: links $(grep -E '^lib(dtk6widget|dfm-extension)' <<<"$needed" | paste -sd ' '), no stand-in code"
