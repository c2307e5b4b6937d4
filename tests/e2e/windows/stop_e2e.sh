#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Stopping a run of the installed Windows program under Wine, with a 7z.exe that hangs in the
# removal: Ctrl-C to slimkit-cli.exe, slimkit-cli.exe ended outright, the window closed during a
# run, and the session ending during a run. Run inside scripts/wine-session:
#   stop_e2e.sh <installed program folder> <stop_driver.exe> <hanging_archiver.exe> <window_probe.exe>
# After each stop: the ROM zip as it was, no temporary file beside it, nothing of the run in the
# extraction folder and no 7z.exe left.
set -euo pipefail
program=$(realpath "$1")
driver=$(realpath "$2")
hanging=$(realpath "$3")
probe=$(realpath "$4")
work=$(mktemp -d /tmp/slimkit-stop.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_helpers.sh"

copy="$work/program"
rom="$work/roms/rom.zip"
pid_file=$(winpath "$copy/bin/win/hang.pid")

# A program folder whose 7z.exe hangs in the removal and whose one definition starts ticked, a
# ROM zip with that entry, and a file in the extraction folder as an interrupted run leaves it.
setup() {
  rm -rf "$copy" "$work/roms" "$work/source"
  cp -r "$program" "$copy"
  mv "$copy/bin/win/7z.exe" "$copy/bin/win/7z-real.exe"
  cp "$hanging" "$copy/bin/win/7z.exe"
  rm -f "$copy/app/remove/"*
  printf '[main]\r\nappname = Browser\r\nenabled = 1\r\n[files]\r\n1 = system/app/Browser.apk\r\n' \
    >"$copy/app/remove/browser.ini"
  rm -rf "$copy/app/add" && mkdir "$copy/app/add"
  mkdir -p "$work/source/system/app" "$work/roms" "$copy/app/undo/files"
  echo browser >"$work/source/system/app/Browser.apk"
  echo notes >"$work/source/system/app/Notes.apk"
  (cd "$work/source" && 7z a -tzip -bd -y "$rom" system >/dev/null)
  cp "$rom" "$work/pristine.zip"
  echo "from an earlier run" >"$copy/app/undo/files/left over"
}

stopped() {
  local what=$1
  cmp -s "$rom" "$work/pristine.zip" || fail "$what: the ROM zip changed"
  if ls "$work/roms" | grep -q '\.tmp'; then fail "$what: left $(ls "$work/roms")"; fi
  # What lay there may be another run's: a stopped run removes only its own folder.
  [ "$(ls -A "$copy/app/undo/files")" = "left over" ] || fail "$what: extraction folder holds $(ls -A "$copy/app/undo/files")"
}

# Runs a command on a terminal of its own and prints what it wrote there, without the terminal's
# control sequences. Wine gives its console programs a console only on a terminal: without one,
# GenerateConsoleCtrlEvent fails (error 12), and on a console made with AllocConsole it reaches
# no process.
on_terminal() {
  python3 - "$@" <<'PY'
import os, pty, re, sys
pid, fd = pty.fork()
if pid == 0:
    os.execvp(sys.argv[1], sys.argv[1:])
out = b""
while True:
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    out += chunk
os.waitpid(pid, 0)
# Wine's console moves the cursor over blanks instead of writing them.
out = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or 1), out)
sys.stdout.write(re.sub(rb"\x1b\[[0-9;?]*[a-zA-Z]|\r", b"", out).decode(errors="replace"))
PY
}

# Runs slimkit-cli.exe under stop_driver, which stops it with $1 (ctrl-c or kill) once 7z hangs,
# in the removal or in the command $3. Its output in $out.
stop_cli() {
  local how=$1 want=$2 hang=${3:-}
  setup
  [ -z "$hang" ] || printf '%s' "$hang" >"$copy/bin/win/hang.on"
  out=$(on_terminal wine "$driver" "$how" "$pid_file" "$(winpath "$copy/slimkit-cli.exe")" \
          customize "$(winpath "$rom")" --no-backup --no-add 2>&1) || true
  # The program's progress line has no line end: the driver's words follow it.
  grep -qE "exit $want\$" <<<"$out" || fail "cli $how: not exit $want: $out"
  grep -qx "7z gone" <<<"$out" || fail "cli $how: $out"
}

# Starts the window's Customize on the ROM; gives back once 7z hangs. Sets $pid and $id.
start_window_run() {
  setup
  wine "$copy/slimkit.exe" & pid=$!
  id=$(wait_window "$title") || { fail "$1: no window"; return 1; }
  probe shown "$title" || { fail "$1: window not shown"; return 1; }
  click_client "$id" 325 32   # "..."
  choose_file "Select Rom" "$(winpath "$rom")" || { fail "$1: the ROM could not be chosen"; return 1; }
  probe field "$title" "$(winpath "$rom")" || { fail "$1: the ROM was not chosen"; return 1; }
  # The window reads the ROM's apps first, and takes no click until it has.
  probe label "$title" " from the ROM)" || { fail "$1: the ROM's apps were not read"; return 1; }
  click_client "$id" 297 345  # "Customize!"
  local end=$((SECONDS + 60))
  until [ -s "$copy/bin/win/hang.pid" ]; do
    [ $SECONDS -lt $end ] || { fail "$1: 7z never hung"; return 1; }
    sleep 0.1
  done
}

# Waits up to a minute for the program to end; its exit status in $status.
program_ended() {
  local end=$((SECONDS + 60))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $end ] || { kill "$pid"; status=timeout; return 1; }
    sleep 0.1
  done
  status=0; wait "$pid" || status=$?
}

close_window_during_run() {
  local what="window closed" dialog
  start_window_run "$what" || return 0
  # Wine draws the frame: its close button is the caption's last, at the top right.
  eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(X|Y|WIDTH)=')"
  xdotool mousemove --sync $((X + WIDTH - 14)) $((Y + 12)) click 1
  dialog=$(wait_window '^Stop$') || { fail "$what: no question"; kill "$pid"; return 0; }
  press_return "$dialog"   # "Yes", the default
  wine "$driver" says Warning "The run was stopped" || fail "$what: no Warning that says so"
  dialog=$(wait_window '^Warning$') && press_return "$dialog"
  probe gone Warning || fail "$what: the Warning stayed"
  wine "$driver" gone "$pid_file" >/dev/null || fail "$what: 7z left"
  stopped "$what"
  keys_to "$id" key --clearmodifiers alt+F4
  program_ended || true
  [ "$status" = 0 ] || fail "$what: exit $status"
}

session_ends_during_run() {
  local what="session ended" out
  start_window_run "$what" || return 0
  out=$(wine "$driver" end-session "$title" "$pid_file" | tr -d '\r') || true
  grep -qx "query 1" <<<"$out" || fail "$what: $out"
  grep -qx "7z gone" <<<"$out" || fail "$what: $out"
  # No question and no message: the program ends as a stop signal ends it.
  program_ended || true
  [ "$status" = 143 ] || fail "$what: exit $status"
  stopped "$what"
}

# Each case, then "ok" when it added no failure.
run_case() {
  local before=$failures
  "$@"
  if [ "$failures" -eq "$before" ]; then pass "$*"; fi
}
cli_ctrl_c() {
  stop_cli ctrl-c 130
  stopped "cli ctrl-c"
}
# Ctrl-C during the closing check ends the run as a stop in any other step does: the summary,
# exit 130, no 7z left; the removal had been done.
cli_ctrl_c_in_check() {
  stop_cli ctrl-c 130 t
  grep -q "^stopped: " <<<"$out" || fail "cli ctrl-c in the check: no summary: $out"
  [ "$(7z l -ba "$rom" | grep -c Browser.apk)" = 0 ] || fail "cli ctrl-c in the check: not removed"
  [ "$(ls "$work/roms")" = rom.zip ] || fail "cli ctrl-c in the check: left $(ls "$work/roms")"
}
# Ctrl-C while 7z lists the ROM zip for the check after the removal: the removal stands, and the
# summary says so and that the ROM zip was not checked.
cli_ctrl_c_in_last_listing() {
  stop_cli ctrl-c 130 l
  grep -q "^stopped: while 7z listed the ROM zip for its check" <<<"$out" ||
    fail "cli ctrl-c in the last listing: no summary: $out"
  [ "$(7z l -ba "$rom" | grep -c Browser.apk)" = 0 ] || fail "cli ctrl-c in the last listing: not removed"
  [ "$(ls "$work/roms")" = rom.zip ] || fail "cli ctrl-c in the last listing: left $(ls "$work/roms")"
}
# Ended outright, the program cleans nothing up; but 7z goes with it, so the ROM is as it was.
# What it left beside the ROM zip goes with the next run on that ROM.
cli_killed() {
  stop_cli kill 1
  cmp -s "$rom" "$work/pristine.zip" || fail "cli kill: the ROM zip changed"
  [ "$(ls "$work/roms")" = "$(printf 'rom.zip\nrom.zip.tmp')" ] ||
    fail "cli kill: not what the docs name as left: $(ls "$work/roms")"
  cp "$copy/bin/win/7z-real.exe" "$copy/bin/win/7z.exe"
  wine "$copy/slimkit-cli.exe" customize "$(winpath "$rom")" --no-backup --no-add >"$work/next" 2>&1 ||
    fail "cli kill: the next run failed: $(cat "$work/next")"
  [ "$(ls "$work/roms")" = rom.zip ] || fail "cli kill: the next run left $(ls "$work/roms")"
}
run_case cli_ctrl_c
run_case cli_ctrl_c_in_check
run_case cli_ctrl_c_in_last_listing
run_case cli_killed
run_case close_window_during_run
run_case session_ends_during_run
[ "$failures" -eq 0 ] && echo "all stop runs passed" || echo "$failures failed"
exit $((failures > 0))
