#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Redraws the pictures in docs/: the tree window for a real scan, and the text
# window for a tool that prints text. Each window is shown on Xvfb with the CJK
# font installed.
#   docs/make-screenshots.sh [BUILD_DIR]
# Without BUILD_DIR, when the real platform's sources are there
# (scripts/build-platform.sh --check), the windows come from build-real, built
# against the real DTK 6 and extension library, and are drawn in deepin's
# style with deepin's platform theme and icon theme (Debian's
# deepin-icon-theme, installed when missing), as deepin shows them; otherwise
# from ./build with the stand-ins and Qt's own style. A given BUILD_DIR
# configured against a prefix that holds deepin's style is drawn in that style
# too.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"
root=$QUARN_ROOT
target=${QUARN_SCREENSHOT_TARGET:-/usr/share}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -ge 1 ]; then
  build=$1
elif "$root/scripts/build-platform.sh" --check 2>/dev/null; then
  build=$root/build-real
  build_on_real_platform "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
else
  build=$root/build
fi

host=$build/host/menu-host
plugin=$build/tests/common/libquarn-gui-testseam.so
quarn=$build/quarn/quarn
for f in "$host" "$plugin" "$quarn"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "make-screenshots: missing $f (build first)" >&2; exit 2; }
done

# The build's prefix with deepin's style plug-in, if any.
style_env=()
prefixes=$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
IFS=';' read -r -a prefixes <<<"$prefixes"
for prefix in "${prefixes[@]}"; do
  if compgen -G "$prefix/plugins/styles/*chameleon*.so" >/dev/null; then
    style_env=(QT_PLUGIN_PATH="$prefix/plugins" QT_STYLE_OVERRIDE=chameleon
      LD_LIBRARY_PATH="$prefix/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}")
    # deepin's platform theme picks deepin's icon theme, whose icons draw the
    # tree's branch arrows and the sort indicator.
    if compgen -G "$prefix/plugins/platformthemes/*qdeepin*.so" >/dev/null; then
      install_missing_packages deepin-icon-theme
      style_env+=(QT_QPA_PLATFORMTHEME=deepin)
    fi
    echo "make-screenshots: real platform from $prefix, deepin's style"
    break
  fi
done
[ ${#style_env[@]} -gt 0 ] || echo "make-screenshots: $build, Qt's own style"

# The text window appears when the tool prints text rather than JSON: here a
# tool that prints du's listing of the folder.
cat >"$work/text-tool" <<'SH'
#!/bin/sh
shift 3
du -h --max-depth=1 "$@" | sort -rh
SH
chmod +x "$work/text-tool"

shoot() { # tool, picture
  env "${style_env[@]}" QT_QPA_PLATFORM=xcb QUARN_TEST_QUARN="$1" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$host" --trigger 磁盘使用统计 --screenshot "$2" \
    "$plugin" "$target" >/dev/null
  echo "wrote $2"
}
shoot "$quarn" "$root/docs/tree-window.png"
shoot "$work/text-tool" "$root/docs/text-window.png"
