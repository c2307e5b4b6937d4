# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers of the black-box runs of the Windows program under Wine, sourced by the scripts beside
# it. They need `probe` (the path of window_probe.exe) and run inside scripts/wine-session.
failures=0
title="Slimkit for CWM Roms V# 0.9"

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Windows path of a Unix path, as Wine's Z: drive shows it.
winpath() { echo "Z:${1//\//\\}"; }

# Waits up to a minute until a window whose name matches is viewable; prints its X window id.
wait_window() {
  local id end=$((SECONDS + 60))
  while [ $SECONDS -lt $end ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Waits until the program's window is in a state (see window_probe.cpp); false after a minute.
probe() { wine "$probe" "$@"; }

# Gives a viewable window the keyboard and types keys into it. There is no window manager: a
# window that has just been mapped may refuse the focus for a moment, so this tries again.
keys_to() {
  local id=$1 end=$((SECONDS + 60))
  shift
  until xdotool windowfocus --sync "$id" 2>/dev/null; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
  xdotool "$@"
}

press_return() { keys_to "$1" key --clearmodifiers Return; }

# Chooses a file in the open dialog titled $1: the path goes into its file name field (typed
# with the keyboard when it is plain ASCII, else put there by window_probe, as xdotool can't
# type every script into Wine), and Return opens it.
choose_file() {
  local title=$1 path=$2 dialog
  dialog=$(wait_window "^$title\$") || return 1
  if LC_ALL=C grep -q '^[ -~]*$' <<<"$path"; then
    keys_to "$dialog" type --delay 20 "$path" || return 1
  else
    probe fill "$title" "$path" || return 1
  fi
  probe field "$title" "$path" || return 1
  press_return "$dialog"
}


# Clicks at client coordinates of the main window: Wine draws the frame itself, 3 pixels of
# border and a caption that brings the client area 22 pixels down.
click_client() {
  local id=$1 x=$2 y=$3 wx wy
  eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(X|Y)=')"
  wx=$((X + 3 + x)); wy=$((Y + 22 + y))
  xdotool mousemove --sync "$wx" "$wy" click 1
}

# A whole Customize through the window of the program started as process $1, on the ROM at
# the Windows path $2, with "Create recovery zip for CWM" ticked; then the window is closed.
# Every step waits until the window shows its effect. False, after a FAIL naming the step for
# the scenario $3, when the run did not end with "Finish" and exit code 0.
customize_in_window() {
  local pid=$1 rom=$2 what=$3 id dialog status
  stop() { fail "$what: $1"; kill "$pid" 2>/dev/null || true; return 1; }
  id=$(wait_window "$title") || { stop "no window"; return 1; }
  probe shown "$title" || { stop "window not shown"; return 1; }
  click_client "$id" 148 83   # the Settings tab
  probe tab "$title" 2 || { stop "the Settings tab did not open"; return 1; }
  click_client "$id" 39 153   # "Create recovery zip for CWM"
  probe checked "$title" "Create recovery zip for CWM" || { stop "recovery zip not ticked"; return 1; }
  click_client "$id" 325 32   # "..."
  choose_file "Select Rom" "$rom" || { stop "the ROM could not be chosen in the dialog"; return 1; }
  probe field "$title" "$rom" || { stop "the ROM was not chosen"; return 1; }
  # The window reads the ROM's apps first, and takes no click until it has.
  probe label "$title" " from the ROM)" || { stop "the ROM's apps were not read"; return 1; }
  click_client "$id" 297 345  # "Customize!"
  # The run itself takes a while under Wine on a busy machine.
  local finished="" end=$((SECONDS + 300))
  while [ $SECONDS -lt $end ]; do
    if dialog=$(xdotool search --onlyvisible --name '^Finish$' 2>/dev/null | head -1) &&
       [ -n "$dialog" ]; then
      finished=1; press_return "$dialog"; break
    fi
    if dialog=$(xdotool search --onlyvisible --name '^(Warning|Error)$' 2>/dev/null | head -1) &&
       [ -n "$dialog" ]; then
      local box
      box=$(xdotool getwindowname "$dialog")
      fail "$what: a $box box"; press_return "$dialog"; probe gone "$box" || true
    fi
    sleep 0.5
  done
  [ -n "$finished" ] || fail "$what: no Finish box"
  probe gone Finish || fail "$what: the Finish box stayed"
  # After a run that changed the ROM the window reads its apps again and takes no key until it
  # has: Alt+F4 is sent until the program ends.
  local closing=$((SECONDS + 120)) waited
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $closing ] || { stop "the window did not close on Alt+F4"; return 1; }
    keys_to "$id" key --clearmodifiers alt+F4 || true
    for waited in $(seq 20); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
  done
  status=0; wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { fail "$what: exit $status"; return 1; }
  [ -n "$finished" ]
}
