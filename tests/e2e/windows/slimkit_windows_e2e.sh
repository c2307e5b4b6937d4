#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box runs of the installed Windows program under Wine, driven with xdotool at the window's
# fixed coordinates. Run inside scripts/wine-session (Wine prefix and Xvfb display set):
#   slimkit_windows_e2e.sh <installed program folder> <window_probe.exe> [screenshot.png]
# A whole Customize run is release_zip_e2e.sh's, on the release zip.
# Each scenario works on its own copy of the program folder in a temporary folder, removed at
# the end; nothing is left running. After each action the script waits, with a generous
# deadline, until the program shows its effect (window_probe reads the controls), so a busy
# machine only makes it slower.
set -euo pipefail
program=$(realpath "$1")
probe=$(realpath "$2")
screenshot=${3:-}
work=$(mktemp -d /tmp/slimkit-e2e.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_helpers.sh"

copy_program() {
  rm -rf "$work/program" && cp -r "$program" "$work/program"
}

# --- the archiver's files missing: "Error" box, no window, exit 0 ----------------------------
missing_archiver() {
  local what=$1 id status
  copy_program
  case $what in
    dll-missing) rm "$work/program/bin/win/7z.dll" ;;
    dll-folder) rm "$work/program/bin/win/7z.dll" && mkdir "$work/program/bin/win/7z.dll" ;;
    exe-folder) rm "$work/program/bin/win/7z.exe" && mkdir "$work/program/bin/win/7z.exe" ;;
  esac
  wine "$work/program/slimkit.exe" & local pid=$!
  if id=$(wait_window '^Error$'); then
    if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then fail "$what: main window shown"; fi
    press_return "$id"
    status=0; wait "$pid" || status=$?
    [ "$status" -eq 0 ] && pass "$what: Error box, exit 0" || fail "$what: exit $status"
  else
    kill "$pid" 2>/dev/null || true
    fail "$what: no Error box"
  fi
}

# --- close the window: exit 0 -------------------------------------------------------------------
close_window() {
  local id status
  copy_program
  wine "$work/program/slimkit.exe" & local pid=$!
  id=$(wait_window "$title") || { fail "close: no window"; kill "$pid" 2>/dev/null || true; return; }
  probe shown "$title" || fail "close: window not shown"
  if [ -n "$screenshot" ]; then
    click_client "$id" 202 83   # the About tab
    probe tab "$title" 3 || fail "close: the About tab did not open"
    eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$screenshot"
    click_client "$id" 35 83    # back to the Remove tab
    probe tab "$title" 0 || fail "close: the Remove tab did not open"
  fi
  keys_to "$id" key --clearmodifiers alt+F4
  status=0; wait "$pid" || status=$?
  [ "$status" -eq 0 ] && pass "close: exit 0" || fail "close: exit $status"
}

# --- a program folder too deep for Windows to start 7z.exe from: "Error" box, exit 0 ----------
# (the program's files are all there: the box can only be the one about the path's length)
too_deep_folder() {
  local deep="$work/deep" level id status
  for level in 1 2 3 4 5 6; do deep+="/a folder named long enough to go deep, level $level"; done
  mkdir -p "$deep" && cp -r "$program" "$deep/program"
  wine "$deep/program/slimkit.exe" & local pid=$!
  if id=$(wait_window '^Error$'); then
    if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then fail "too deep: main window shown"; fi
    press_return "$id"
    status=0; wait "$pid" || status=$?
    [ "$status" -eq 0 ] && pass "too deep: Error box, exit 0" || fail "too deep: exit $status"
  else
    kill "$pid" 2>/dev/null || true
    fail "too deep: no Error box"
  fi
  rm -rf "$deep"
}

too_deep_folder
missing_archiver dll-missing
missing_archiver dll-folder
missing_archiver exe-folder
close_window
[ "$failures" -eq 0 ] && echo "all black-box runs passed" || echo "$failures failed"
exit $((failures > 0))
