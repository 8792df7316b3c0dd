# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Sourced by check-packages.sh and testbed.sh, after scripts/common.sh.
#
# mmdebstrap (for a user other than root) and autopkgtest-virt-unshare map the
# testbed's users onto subordinate ids. `unshare --map-auto` in Debian 12
# takes the first range in /etc/subuid and /etc/subgid whoever owns it, and
# newuidmap then refuses it when it belongs to someone else (Debian gives the
# first user created 100000:65536). So for the run only, the user running it
# gets its own 65536 ids past every range given out, on the first line of both
# files; the files are put back as they were (contents and times) when the
# script ends, interrupted or not. A run killed outright leaves its copies in
# the cache folder, and the next run puts those back first. Runs wait for
# each other on a lock on /etc/subuid.

# subids_hold: the above, until subids_release, which the calling script's EXIT
# trap must run; HUP, INT and TERM end the script through that trap. Nothing
# happens when a calling script already holds them (QUARN_SUBIDS_HELD).
subids_hold() {
  [ -n "${QUARN_SUBIDS_HELD:-}" ] && return 0
  local file start user
  user=$(id -un)
  subids_saved=${XDG_CACHE_HOME:-$HOME/.cache}/quarn-gui/subids
  [ -e /etc/subuid ] || as_root touch /etc/subuid
  exec 8</etc/subuid
  if ! flock -n 8; then
    echo "subids: another run holds /etc/subuid; waiting for it" >&2
    flock 8
  fi
  # Left by a run that was killed before it could put them back.
  [ -f "$subids_saved/complete" ] && subids_put_back
  rm -rf "$subids_saved" && mkdir -p "$subids_saved"
  for file in subuid subgid; do
    if [ -e "/etc/$file" ]; then cp -p "/etc/$file" "$subids_saved/$file"; else : >"$subids_saved/$file.absent"; fi
  done
  : >"$subids_saved/complete"
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  # The first id past every range in either file.
  start=$(cat /etc/subuid /etc/subgid 2>/dev/null |
    awk -F: '{ end = $2 + $3; if (end > max) max = end } END { print (max > 100000 ? max : 100000) }')
  for file in subuid subgid; do
    { echo "$user:$start:65536" && cat "$subids_saved/$file" 2>/dev/null; } >"$subids_saved/$file.run"
    as_root cp "$subids_saved/$file.run" "/etc/$file"
  done
  export QUARN_SUBIDS_HELD=1
  echo "subids: $user has the subordinate ids $start-$((start + 65535)) for this run" >&2
}

subids_put_back() {
  local file
  for file in subuid subgid; do
    if [ -e "$subids_saved/$file.absent" ]; then
      as_root rm -f "/etc/$file"
    else
      as_root cp "$subids_saved/$file" "/etc/$file"
      as_root touch -r "$subids_saved/$file" "/etc/$file"
    fi
  done
  rm -rf "$subids_saved"
}

subids_release() {
  [ -f "${subids_saved:-}/complete" ] && subids_put_back
  return 0
}
