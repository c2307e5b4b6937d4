#!/usr/bin/env bash
# Black-box runs of the installed Windows program under Wine, driven with xdotool at the window's
# fixed coordinates. Run inside scripts/wine-session (Wine prefix and Xvfb display set):
#   slimkit_windows_e2e.sh <installed program folder> <window_probe.exe> [screenshot.png]
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

# Clicks at client coordinates of the main window: Wine draws the frame itself, 3 pixels of
# border and a caption that brings the client area 22 pixels down.
click_client() {
  local id=$1 x=$2 y=$3 wx wy
  eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(X|Y)=')"
  wx=$((X + 3 + x)); wy=$((Y + 22 + y))
  xdotool mousemove --sync "$wx" "$wy" click 1
}

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

# --- a whole Customize run with the real 7z.exe -------------------------------------------------
customize_run() {
  local id dialog status
  copy_program
  rm -f "$work/program/app/remove/"*.ini
  printf '[main]\r\nappname = Example\r\nenabled = 1\r\n[files]\r\n1 = system/app/Example.apk\r\n' \
    > "$work/program/app/remove/example.ini"
  mkdir -p "$work/program/app/add/system/app" "$work/program/app/add/system/xbin" \
           "$work/rom/system/app" "$work/rom/system/bin" "$work/roms"
  echo added > "$work/program/app/add/system/app/Added.apk"
  echo added > "$work/program/app/add/system/xbin/addedtool"
  echo example > "$work/rom/system/app/Example.apk"
  echo keep > "$work/rom/system/app/Keep.apk"
  echo tool > "$work/rom/system/bin/tool"
  (cd "$work/rom" && zip -q -r "$work/roms/my rom.zip" system)
  cp "$work/roms/my rom.zip" "$work/original.zip"

  wine "$work/program/slimkit.exe" & local pid=$!
  local rom
  rom=$(winpath "$work/roms/my rom.zip")
  stop() { fail "customize: $1"; kill "$pid" 2>/dev/null || true; }
  id=$(wait_window "$title") || { stop "no window"; return; }
  probe shown "$title" || { stop "window not shown"; return; }
  click_client "$id" 148 83   # the Settings tab
  probe tab "$title" 2 || { stop "the Settings tab did not open"; return; }
  click_client "$id" 39 153   # "Create recovery zip for CWM"
  probe checked "$title" "Create recovery zip for CWM" || { stop "recovery zip not ticked"; return; }
  click_client "$id" 325 32   # "..."
  dialog=$(wait_window '^Select Rom$') || { stop "no file dialog"; return; }
  keys_to "$dialog" type --delay 20 "$rom"
  probe field "Select Rom" "$rom" || { stop "the ROM path was not typed"; return; }
  press_return "$dialog"
  probe field "$title" "$rom" || { stop "the ROM was not chosen"; return; }
  click_client "$id" 297 345  # "Customize!"
  # The run itself takes a while under Wine on a busy machine.
  local finished="" end=$((SECONDS + 300))
  while [ $SECONDS -lt $end ]; do
    if dialog=$(xdotool search --onlyvisible --name '^Finish$' 2>/dev/null | head -1) &&
       [ -n "$dialog" ]; then
      finished=1; press_return "$dialog"; break
    fi
    if dialog=$(xdotool search --onlyvisible --name '^Warning$' 2>/dev/null | head -1) &&
       [ -n "$dialog" ]; then
      fail "customize: a Warning box"; press_return "$dialog"; probe gone Warning || true
    fi
    sleep 0.5
  done
  [ -n "$finished" ] || fail "customize: no Finish box"
  probe gone Finish || fail "customize: the Finish box stayed"
  keys_to "$id" key --clearmodifiers alt+F4
  status=0; wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "customize: exit $status"

  local entries
  entries=$(unzip -Z1 "$work/roms/my rom.zip" | sort | tr '\n' ' ')
  case "$entries" in
    *system/app/Example.apk*) fail "customize: Example.apk still in the ROM ($entries)" ;;
    *) pass "customize: Example.apk removed" ;;
  esac
  [[ "$entries" == *system/app/Keep.apk* && "$entries" == *system/bin/tool* ]] &&
    pass "customize: the rest of the ROM kept" || fail "customize: ROM lost entries ($entries)"
  [[ "$entries" == *system/app/Added.apk* && "$entries" == *system/xbin/addedtool* ]] &&
    pass "customize: Added.apk and addedtool added" ||
    fail "customize: added files missing ($entries)"
  cmp -s "$work/original.zip" "$work/roms/my rom.zip_BU_0" && pass "customize: backup _BU_0" ||
    fail "customize: no whole backup"
  local undo
  undo=$(unzip -Z1 "$work/roms/my rom.zip_undo.zip" 2>/dev/null | sort | tr '\n' ' ' || true)
  [[ "$undo" == *system/app/Example.apk* && "$undo" == *META-INF/* &&
     "$undo" != *Keep.apk* && "$undo" != *Added.apk* ]] &&
    pass "customize: undo zip holds the template and Example.apk" ||
    fail "customize: undo zip holds: $undo"
  [ -d "$work/program/app/undo/files" ] && [ -z "$(ls -A "$work/program/app/undo/files")" ] &&
    pass "customize: extraction folder left empty" || fail "customize: extraction folder not empty"
}

missing_archiver dll-missing
missing_archiver dll-folder
missing_archiver exe-folder
close_window
customize_run
[ "$failures" -eq 0 ] && echo "all black-box runs passed" || echo "$failures failed"
exit $((failures > 0))
