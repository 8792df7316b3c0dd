#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, builds, and runs the extension inside menu-host on
# PATH (default: your home folder): the context menu is built for PATH, the
# action "磁盘使用统计" is triggered and the result window opens.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

target=${1:-$HOME}
if [ ! -e "$target" ]; then
  echo "run.sh: cannot scan '$target': no such file or directory" >&2
  exit 2
fi

install_missing_packages "${QUARN_PACKAGES[@]}"
build="$QUARN_ROOT/build"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The extension always runs /usr/bin/quarn; put ours there only when that
# place is free, never over an existing tool.
if [ ! -e /usr/bin/quarn ]; then
  echo "Installing our quarn scanner at /usr/bin/quarn"
  as_root install -m 0755 "$build/quarn/quarn" /usr/bin/quarn
fi

host=("$build/host/menu-host" --trigger 磁盘使用统计)
plugin="$build/src/libquarn-gui.so"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "${host[@]}" "$plugin" "$target"
fi
shot="$QUARN_ROOT/build/quarn-gui-window.png"
xvfb-run -a -s "-screen 0 1280x1024x24" "${host[@]}" --screenshot "$shot" "$plugin" "$target"
echo "No display: the window was drawn under Xvfb; screenshot: $shot"
