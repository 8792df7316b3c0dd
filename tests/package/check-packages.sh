#!/usr/bin/env bash
# Builds the Debian packages from a clean copy of the sources, unpacks them
# into a throw-away root and checks what they install: the extension in the
# file manager's extension folder, the scanner in /usr/bin, nothing from the
# stand-ins, and a scanner that runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-packages: $*" >&2; exit 1; }

# A copy without build folders, so dpkg-buildpackage writes its files into $work.
mkdir "$work/src"
tar -C "$root" --exclude='./build*' --exclude='./.git' --exclude='./bench/tree' -cf - . | tar -C "$work/src" -xf -
(cd "$work/src" && dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) ||
  { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed"; }

arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for pkg in quarn-gui quarn; do
  deb=$(ls "$work"/${pkg}_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "no package $pkg was built"
  dpkg-deb -x "$deb" "$work/root"
  dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' >"$work/$pkg.files"
done

expect_files() { # package, expected files (exactly, besides /usr/share/doc)
  local pkg=$1
  shift
  local actual expected
  actual=$(grep -v '^/usr/share/doc/' "$work/$pkg.files" | sort)
  expected=$(printf '%s\n' "$@" | sort)
  [ "$actual" = "$expected" ] || fail "$pkg installs:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
  grep -q "^/usr/share/doc/$pkg/copyright$" "$work/$pkg.files" || fail "$pkg has no copyright file"
  grep -q "^/usr/share/doc/$pkg/changelog.gz$" "$work/$pkg.files" || fail "$pkg has no changelog"
}
expect_files quarn-gui "/usr/lib/$arch/dde-file-manager/plugins/extensions/libquarn-gui.so"
expect_files quarn /usr/bin/quarn

depends=$(dpkg-deb -f "$work"/quarn-gui_*.deb Depends)
grep -qw quarn <<<"$depends" || fail "quarn-gui does not depend on quarn: $depends"
grep -q libqt6widgets6 <<<"$depends" || fail "quarn-gui lacks its Qt dependency: $depends"

plugin="$work/root/usr/lib/$arch/dde-file-manager/plugins/extensions/libquarn-gui.so"
for sym in dfm_extension_initialize dfm_extension_initiliaze dfm_extension_shutdown dfm_extension_menu; do
  nm -D --defined-only "$plugin" | grep -qw "$sym" || fail "the packaged plug-in does not export $sym"
done

mkdir -p "$work/scan/sub"
head -c 5000 /dev/zero >"$work/scan/sub/file"
out=$("$work/root/usr/bin/quarn" -n 3 -j "$work/scan") || fail "the packaged quarn failed"
grep -q '"name"' <<<"$out" || fail "the packaged quarn printed no report: $out"

echo "check-packages: quarn-gui and quarn built, installed into a throw-away root and checked"
