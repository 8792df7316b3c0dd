#!/usr/bin/env bash
# check-install.sh BUILD_DIR EXPECTED_FILE...
# Installs BUILD_DIR into a throw-away DESTDIR and checks that exactly the
# expected files arrive: the extension and the scanner, nothing from the
# stand-ins or the test tools.
set -euo pipefail
build=$1
shift
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

DESTDIR=$dest cmake --install "$build" >/dev/null
actual=$(cd "$dest" && find . -type f -o -type l | sed 's|^\.||' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
  printf 'check-install: installed\n%s\nexpected\n%s\n' "$actual" "$expected" >&2
  exit 1
fi
echo "check-install: $(wc -l <<<"$actual") files installed, as expected"
