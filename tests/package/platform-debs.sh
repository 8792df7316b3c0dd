#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# platform-debs.sh PREFIX OUTDIR
# Packages the real platform libraries built into PREFIX by
# scripts/build-platform.sh as deepin names them (libdtk6core, libdtk6gui,
# libdtk6widget, libdfm-extension), so that a build against PREFIX gets the
# dependencies it would get on deepin and its packages can be installed in a
# throw-away root for their tests. Writes the .debs and shlibs.local, the
# dependency information deepin's packages carry, into OUTDIR.
set -euo pipefail
prefix=$1
out=$2
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# name, version, library, soname version
libraries=(
  "libdtk6core 6.0.17 libdtk6core 6"
  "libdtk6gui 6.0.17 libdtk6gui 6"
  "libdtk6widget 6.0.17 libdtk6widget 6"
  "libdfm-extension 6.6.3 libdfm-extension 1"
)
: >"$out/shlibs.local"
for entry in "${libraries[@]}"; do
  read -r name version lib soversion <<<"$entry"
  [ -e "$prefix/lib/$lib.so.$soversion" ] || { echo "platform-debs: no $lib.so.$soversion in $prefix/lib" >&2; exit 1; }
  echo "$lib $soversion $name (>= $version)" >>"$out/shlibs.local"
done

mkdir -p "$work/debian"
printf 'Source: platform\n\nPackage: platform\nArchitecture: any\n' >"$work/debian/control"
for entry in "${libraries[@]}"; do
  read -r name version lib soversion <<<"$entry"
  root=$work/$name
  mkdir -p "$root/DEBIAN" "$root/usr/lib/$multiarch"
  # The soname's link and the file it names.
  cp -a "$prefix/lib/$lib.so.$soversion" "$(readlink -f "$prefix/lib/$lib.so.$soversion")" "$root/usr/lib/$multiarch/"
  if ! depends=$(cd "$work" && dpkg-shlibdeps -O -L"$out/shlibs.local" -l"$prefix/lib" \
    "$root/usr/lib/$multiarch/$lib.so.$soversion" 2>"$work/shlibdeps.log"); then
    cat "$work/shlibdeps.log" >&2
    echo "platform-debs: no dependencies found for $lib" >&2
    exit 1
  fi
  depends=$(sed -n 's/^shlibs:Depends=//p' <<<"$depends")
  grep "^$lib " "$out/shlibs.local" >"$root/DEBIAN/shlibs"
  cat >"$root/DEBIAN/control" <<CONTROL
Package: $name
Version: $version
Architecture: $arch
Multi-Arch: same
Maintainer: quarn-gui developers <quarn-gui-dev@lists.example.org>
Section: libs
Priority: optional
Depends: $depends
Description: $lib built from its public sources, for testing quarn-gui
 The library as deepin packages it, from scripts/build-platform.sh.
CONTROL
  dpkg-deb --root-owner-group -Zgzip -b "$root" "$out/${name}_${version}_$arch.deb" >/dev/null
done
echo "platform-debs: $(cd "$out" && ls ./*.deb | paste -sd ' ')"
