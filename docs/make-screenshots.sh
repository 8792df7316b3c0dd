#!/usr/bin/env bash
# Redraws the pictures in docs/ from a build (default: ./build): the tree
# window for a real scan, and the text window for a tool that prints text.
# Each window is shown on Xvfb with the CJK font installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
target=${QUARN_SCREENSHOT_TARGET:-/usr/share}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

host=$build/host/menu-host
plugin=$build/tests/support/libquarn-gui-testseam.so
quarn=$build/quarn/quarn
for f in "$host" "$plugin" "$quarn"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "make-screenshots: missing $f (build first)" >&2; exit 2; }
done

# The text window appears when the tool prints text rather than JSON: here a
# tool that prints du's listing of the folder.
cat >"$work/text-tool" <<'SH'
#!/bin/sh
shift 3
du -h --max-depth=1 "$@" | sort -rh
SH
chmod +x "$work/text-tool"

shoot() { # tool, picture
  QT_QPA_PLATFORM=xcb QUARN_TEST_QUARN=$1 \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$host" --trigger 磁盘使用统计 --screenshot "$2" \
    "$plugin" "$target" >/dev/null
  echo "wrote $2"
}
shoot "$quarn" "$root/docs/tree-window.png"
shoot "$work/text-tool" "$root/docs/text-window.png"
