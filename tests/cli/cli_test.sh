#!/usr/bin/env bash
# Black-box tests of slimkit-cli on ROM zips built here:
#   cli_test.sh <slimkit-cli> <program build folder> <case>
# The program is copied into a program folder of its own, with test definitions, an add folder
# and the undo template. On Windows (case "windows") it runs under Wine with the 7z.exe it ships
# with; every other case runs the Linux build.
set -euo pipefail
built=$1
build=$2
case=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
program="$work/program"
roms="$work/roms"
rom="$roms/my rom.zip"
pristine="$work/pristine.zip"
mkdir -p "$program/app/remove" "$program/app/add" "$program/app/undo/files" "$roms"
cp "$built" "$program/"
cp "$build/app/undo/undo.zip" "$program/app/undo/undo.zip"
cli=("$program/$(basename "$built")")
[ "$case" = windows ] && cli=(wine "$program/$(basename "$built")") && cp -r "$build/bin" "$program/"

fail() { echo "FAIL ($case): $*" >&2; exit 1; }

# Windows programs take Windows paths.
native() { if [ "$case" = windows ]; then winepath -w "$1"; else printf '%s' "$1"; fi; }

# run <expected exit code> <arguments...>: output in $work/out and $work/err.
run() {
  local want=$1 got=0
  shift
  "${cli[@]}" "$@" >"$work/out" 2>"$work/err" || got=$?
  # A Windows console program ends its lines with CR LF.
  if [ "$case" = windows ]; then tr -d '\r' <"$work/out" >"$work/out.lf" && mv "$work/out.lf" "$work/out"; fi
  [ "$got" = "$want" ] || fail "exit $got, not $want: $*"$'\n'"$(cat "$work/out" "$work/err")"
}

# The ROM is as it was, and nothing was written beside it.
untouched() {
  cmp -s "$rom" "$pristine" || fail "the ROM zip changed: $*"
  [ "$(ls -A "$roms")" = "my rom.zip" ] || fail "files beside the ROM ($*): $(ls -A "$roms")"
}

# The files of a zip, folders left out.
entries() { 7z l -slt -ba "$1" | awk '/^Path = /{p=substr($0,8)} /^Folder = -/{print p}' | sort; }

write_definition() {  # name, then the [files] lines
  local name=$1
  shift
  { printf '[main]\nappname = %s\nenabled = 0\n[files]\n' "$name"; printf '%s\n' "$@"; } \
    >"$program/app/remove/$(echo "$name" | tr -d ' ').ini"
}
write_definition Browser "1 = system/app/Browser.apk" "2 = system/app/Absent.apk"
write_definition "My Notes" "1 = system/app/My Notes.apk"
write_definition Sounds "1 = system/media/audio"
printf '[main]\nappname = Clock\nwidget = 1\nenabled = 1\n[files]\n1 = system/app/Clock.apk\n[widget_files]\n1 = system/app/ClockWidget.apk\n' \
  >"$program/app/remove/clock.ini"

source="$work/rom source"
for file in META-INF/com/google/android/updater-script build.prop system/app/Browser.apk \
            "system/app/My Notes.apk" system/app/Clock.apk system/app/ClockWidget.apk \
            system/app/Kept.apk system/media/audio/a.ogg system/media/audio/b.ogg; do
  mkdir -p "$(dirname "$source/$file")"
  head -c 4000 /dev/urandom >"$source/$file"
done
(cd "$source" && 7z a -tzip -bd -y -r "$rom" '*' >/dev/null)
cp "$rom" "$pristine"
ROM=$(native "$rom")

case "$case" in
usage)
  run 0 --help
  grep -q '^Usage: slimkit-cli apps' "$work/out" || fail "no usage"
  run 0 --version
  grep -qx 'slimkit-cli [0-9.]*' "$work/out" || fail "version: $(cat "$work/out")"
  run 0 apps --json
  python3 - "$work/out" <<'EOF' || fail "apps --json"
import json, sys
apps = json.load(open(sys.argv[1]))
assert [a["name"] for a in apps] == ["Browser", "Clock", "My Notes", "Sounds"], apps
clock = apps[1]
assert clock["mode"] == "App/Widget" and clock["ticked"] is True, clock
assert clock["definition"].endswith("clock.ini"), clock
EOF
  ;;

bad_input)
  mkfifo "$work/fifo"
  printf 'notes, not a zip\n' >"$roms/notes.zip"
  : >"$roms/empty.zip"
  mkdir "$work/list folder"
  printf '[Remove]\nbrowser = 2\n' >"$work/list.ini"
  while IFS='|' read -r why args; do
    eval "set -- $args"
    run 2 "$@"
    [ "$(wc -l <"$work/err")" = 1 ] || fail "$why: not one line: $(cat "$work/err")"
    [ ! -s "$work/out" ] || fail "$why: printed $(cat "$work/out")"
    rm -f "$roms/notes.zip" "$roms/empty.zip"
    untouched "$why"
    printf 'notes, not a zip\n' >"$roms/notes.zip"
    : >"$roms/empty.zip"
  done <<EOF
no command|
unknown command|slim "$rom"
unknown option|customize "$rom" --fast
no ROM|customize
--app without a name|plan "$rom" --app
an option plan doesn't take|plan "$rom" --no-backup
missing ROM|customize "$roms/missing.zip"
a folder for a ROM|customize "$roms"
a text file for a ROM|customize "$roms/notes.zip"
an empty ROM|customize "$roms/empty.zip"
unknown app|customize "$rom" --app Nothing
widget of an app without one|customize "$rom" --app Browser=widget
an unknown mode|customize "$rom" --app Clock=everything
missing list|customize "$rom" --list "$work/missing.ini"
a folder for a list|customize "$rom" --list "$work/list folder"
EOF
  grep -q "Can't read $work/list folder" "$work/err" || fail "the list's reason: $(cat "$work/err")"
  rm -f "$roms/notes.zip" "$roms/empty.zip"
  # A ROM zip that is cut short.
  head -c 9000 "$pristine" >"$work/cut.zip"
  run 2 customize "$work/cut.zip"
  grep -q "as a zip archive" "$work/err" || fail "cut zip: $(cat "$work/err")"
  # What the add folder can't give, and a ROM path the archiver can't be handed.
  ln -s "$work/fifo" "$program/app/add/pipe"
  run 2 customize "$rom" --app Browser
  grep -q "Can't add $program/app/add/pipe" "$work/err" || fail "FIFO: $(cat "$work/err")"
  untouched "FIFO in the add folder"
  rm "$program/app/add/pipe"
  cp "$pristine" "$work/say \"hi\".zip"
  run 2 customize "$work/say \"hi\".zip"
  cmp -s "$work/say \"hi\".zip" "$pristine" || fail "the quoted ROM changed"
  ;;

run)
  mkdir -p "$program/app/add/system/app" "$program/app/add/system/xbin"
  printf 'new' >"$program/app/add/system/app/New App.apk"
  printf 'tool' >"$program/app/add/system/xbin/tool"
  printf 'kept, replaced' >"$program/app/add/system/app/Kept.apk"
  printf '[Remove]\nbrowser = 2\nclock = 0\nnobody = 2\n' >"$work/list.ini"
  selection=(--list "$work/list.ini" --app "My Notes" --app Sounds)
  (cd "$roms" && run 0 plan "my rom.zip" "${selection[@]}" --json)
  cp "$work/out" "$work/plan.json"
  untouched "plan"
  run 0 customize "$rom" "${selection[@]}" --undo-zip
  grep -qx 'Removing files \.\.\.' "$work/out" || fail "no plain progress line: $(cat "$work/out")"
  grep -q $'\r' "$work/out" && fail "a line redrawn on a pipe"
  grep -qxF "Backup: ${rom}_BU_0" "$work/out" || fail "no backup named: $(cat "$work/out")"
  cmp -s "$rom""_BU_0" "$pristine" || fail "the backup differs from the ROM"
  [ -f "$rom""_undo.zip" ] || fail "no undo zip"
  entries "$pristine" >"$work/before"
  entries "$rom" >"$work/after"
  python3 - "$work/plan.json" "$work/before" "$work/after" <<'EOF' || fail "the run differs from the plan"
import json, sys
plan = json.load(open(sys.argv[1]))["plan"]
before = set(open(sys.argv[2]).read().split("\n")) - {""}
after = set(open(sys.argv[3]).read().split("\n")) - {""}
removed = {e["path"] for app in plan["apps"] for e in app["removes"]}
assert [a["name"] for a in plan["apps"]] == ["Browser", "My Notes", "Sounds"], plan["apps"]
assert plan["apps"][0]["absent"] == ["system/app/Absent.apk"], plan["apps"][0]
assert plan["replaces"] == ["system/app/Kept.apk"], plan
assert sorted(plan["adds"]) == ["system/app/New App.apk", "system/xbin/tool"], plan
assert plan["filesRemoved"] == 4 and plan["bytesFreed"] == 16000, plan
assert (before - removed) | set(plan["adds"]) == after, (before, after)
EOF
  # Again, with JSON: nothing left to remove, the add folder replaces what it added.
  run 0 customize "$rom" --app Browser --no-backup --json
  python3 - "$work/out" <<'EOF' || fail "customize --json: $(cat "$work/out")"
import json, sys
result = json.load(open(sys.argv[1]))
assert result["result"] == "done" and result["exitCode"] == 0, result
assert result["backup"] is None and result["undoZip"] is None, result
assert result["filesRemoved"] == 0 and result["filesReplaced"] == 3, result
assert result["check"] == {"zipTested": True, "notRemoved": [], "notAdded": [], "changed": []}
assert result["messages"] == [{"title": "Finish", "text": "Customzation done ;)"}], result
EOF
  # A ROM named through a link is edited at its target, and checked there.
  cp "$pristine" "$rom"
  ln -s "$rom" "$work/link.zip"
  run 0 customize "$work/link.zip" --app Browser --no-backup --no-add
  [ -L "$work/link.zip" ] || fail "the link became a file"
  entries "$rom" | grep -q Browser.apk && fail "not removed at the link's target"
  # A reader that goes away does not end the run: every step and the check still run, and the
  # exit code is the run's. First an output whose only reader has gone before the start, then
  # the reader of a pipe that takes one line.
  mkfifo "$work/gone"
  exec 3<>"$work/gone" 4>"$work/gone" 3<&-
  cp "$pristine" "$rom"
  got=0
  "${cli[@]}" customize "$rom" --app Browser --no-backup >&4 2>"$work/err" || got=$?
  exec 4>&-
  [ "$got" = 0 ] || fail "exit $got with a closed output: $(cat "$work/err")"
  entries "$rom" | grep -q Browser.apk && fail "not removed with a closed output"
  entries "$rom" | grep -qx "system/app/New App.apk" || fail "not added with a closed output"
  cp "$pristine" "$rom"
  { got=0; "${cli[@]}" customize "$rom" --app Browser --no-backup 2>"$work/err" || got=$?
    echo "$got" >"$work/status"; } | head -1 >/dev/null
  [ "$(cat "$work/status")" = 0 ] || fail "exit $(cat "$work/status") under head: $(cat "$work/err")"
  entries "$rom" | grep -qx "system/app/New App.apk" || fail "not added under head"
  # A ROM with encrypted entries: 7z's test in the check can't read them without a password.
  # It must not wait for one on the program's input (here one that never ends): the check fails.
  (cd "$source" && 7z a -tzip -bd -psecret "$roms/locked.zip" build.prop system/app >/dev/null)
  mkfifo "$work/never"
  exec 5<>"$work/never"
  got=0
  timeout 120 "${cli[@]}" customize "$roms/locked.zip" --app Browser --no-backup --no-add \
    <&5 >"$work/out" 2>"$work/err" || got=$?
  exec 5<&-
  [ "$got" = 3 ] || fail "exit $got on an encrypted ROM: $(cat "$work/out" "$work/err")"
  grep -q "7z's test of the zip failed" "$work/err" || fail "encrypted ROM: $(cat "$work/err")"
  # On a terminal the step is redrawn in place.
  if script -qec "true" /dev/null >/dev/null 2>&1; then
    cp "$pristine" "$rom"
    script -qec "$(printf '%q ' "${cli[@]}" customize "$rom" --no-backup --no-add)" /dev/null \
      >"$work/tty" || fail "customize on a terminal: $(cat "$work/tty")"
    grep -q $'\rRemoving files \.\.\.[ 0-9%]*\rReady' "$work/tty" || fail "not redrawn: $(cat -v "$work/tty")"
  fi
  ;;

check_fails | step_fails)
  # A 7z that does its work and then spoils the ROM zip, or fails the removal.
  real=$(command -v 7z)
  mkdir "$work/bin"
  cat >"$work/bin/7z" <<EOF
#!/bin/sh
command=\$1
for argument; do [ "\$after" = 1 ] && archive=\$argument && break; [ "\$argument" = -- ] && after=1; done
if [ "\$command" = d ] && [ "$case" = step_fails ]; then echo "ERROR: no room" >&2; exit 2; fi
"$real" "\$@"
status=\$?
if [ "\$command" = d ]; then
  case "\$archive" in
  *dropped*) "$real" d -bd -y -- "\$archive" build.prop >/dev/null ;;
  *) printf 'X' | dd of="\$archive" bs=1 seek=300 conv=notrunc 2>/dev/null ;;
  esac
fi
exit \$status
EOF
  chmod +x "$work/bin/7z"
  export PATH="$work/bin:$PATH"
  if [ "$case" = step_fails ]; then
    run 1 customize "$rom" --app Browser --no-backup --no-add
    grep -q "ERROR: no room" "$work/err" || fail "7z's error not shown: $(cat "$work/err")"
    untouched "a failed removal"
    exit 0
  fi
  run 3 customize "$rom" --app Browser --no-backup --no-add
  grep -q "7z's test of the zip failed" "$work/err" || fail "corrupt zip: $(cat "$work/err")"
  mv "$rom" "$roms/dropped.zip"
  cp "$pristine" "$roms/dropped.zip"
  run 3 customize "$roms/dropped.zip" --app Browser --no-backup --no-add --json
  grep -q '"changed":\["build.prop"\]' "$work/out" || fail "dropped entry: $(cat "$work/out")"
  ;;

stopped)
  # Ctrl-C during a run, first with a 7z that hangs in the removal, then with the real 7z held
  # halfway through rewriting a large ROM: 7z is killed, nothing of it left, the ROM as it was.
  real=$(command -v 7z)
  mkdir "$work/bin"
  cat >"$work/bin/7z" <<EOF
#!/bin/sh
[ "\$1" = l ] && [ -e "$work/hang-list" ] && exec "$work/bin/listing-7z" 120
if [ "\$1" = d ]; then
  echo \$\$ >"$work/7z.pid"
  if [ -e "$work/hang" ]; then : >"$rom.tmp"; : >"$work/halfway"; exec sleep 120; fi
  (while [ ! -e "$rom.tmp" ]; do sleep 0.01; done; kill -STOP \$\$; : >"$work/halfway") &
fi
exec "$real" "\$@"
EOF
  chmod +x "$work/bin/7z"
  export PATH="$work/bin:$PATH"
  # The ROM is listed while the catalogue is read: a selection refused meanwhile stops that 7z.
  cp "$(command -v sleep)" "$work/bin/listing-7z"
  : >"$work/hang-list"
  run 2 plan "$rom" --app Nobody
  pgrep -f "$work/bin/listing-7z" >/dev/null && fail "the listing's 7z outlived a refused plan"
  rm "$work/hang-list"
  stop_halfway() {
    rm -f "$work/halfway"
    "${cli[@]}" customize "$rom" --app Browser --app Sounds --no-backup --no-add \
      >"$work/out" 2>"$work/err" &
    local cli_pid=$! waited=0 got=0
    while [ ! -e "$work/halfway" ]; do
      sleep 0.05; waited=$((waited + 1))
      [ "$waited" -lt 1200 ] || { kill "$cli_pid"; fail "7z never got halfway ($1)"; }
    done
    kill -INT "$cli_pid"
    wait "$cli_pid" || got=$?
    [ "$got" = 130 ] || fail "exit $got, not 130 ($1): $(cat "$work/out" "$work/err")"
    kill -0 "$(cat "$work/7z.pid")" 2>/dev/null && fail "7z outlived the program ($1)"
    untouched "stopped ($1)"
  }
  : >"$work/hang"
  stop_halfway "a 7z that hangs"
  rm "$work/hang"
  # Large enough that 7z is still writing when the watcher holds it.
  for n in 1 2 3; do head -c 40000000 /dev/urandom >"$source/system/big$n.bin"; done
  rm "$rom" && (cd "$source" && 7z a -tzip -mx=0 -bd -y -r "$rom" '*' >/dev/null)
  cp "$rom" "$pristine"
  stop_halfway "the real 7z"
  ;;

killed)
  # Killed outright while 7z hangs in the removal, the program takes 7z with it.
  mkdir "$work/bin"
  cat >"$work/bin/7z" <<EOF
#!/bin/sh
[ "\$1" = d ] || exec "$(command -v 7z)" "\$@"
echo \$\$ >"$work/7z.pid.new" && mv "$work/7z.pid.new" "$work/7z.pid"
exec sleep 300
EOF
  chmod +x "$work/bin/7z"
  PATH="$work/bin:$PATH" "${cli[@]}" customize "$rom" --app Browser --no-backup --no-add \
    >"$work/out" 2>&1 &
  cli_pid=$!
  for _ in $(seq 1200); do [ -e "$work/7z.pid" ] && break; sleep 0.05; done
  [ -e "$work/7z.pid" ] || { kill "$cli_pid"; fail "7z never ran"; }
  kill -KILL "$cli_pid"
  wait "$cli_pid" || true
  # An orphan is a zombie until whoever adopted it collects it: that one has ended too.
  running() { [ -e "/proc/$1" ] && [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" != Z ]; }
  hung=$(cat "$work/7z.pid") end=$((SECONDS + 60))
  while running "$hung" && [ $SECONDS -lt $end ]; do sleep 0.05; done
  running "$hung" && { kill -KILL "$hung"; fail "7z outlived the killed program"; }
  cmp -s "$rom" "$pristine" || fail "the ROM zip changed"
  ;;

windows)
  run 0 --version
  run 0 apps --json
  grep -q '"name":"Clock","mode":"App/Widget","ticked":true' "$work/out" || fail "apps: $(cat "$work/out")"
  run 0 plan "$ROM" --app Browser --app Sounds --json
  grep -q '"absent":\["system/app/Absent.apk"\]' "$work/out" || fail "plan: $(cat "$work/out")"
  grep -q '"filesRemoved":3,"bytesFreed":12000' "$work/out" || fail "plan: $(cat "$work/out")"
  untouched "plan"
  run 2 customize "$(native "$roms/missing.zip")"
  untouched "missing ROM"
  # A ROM named relative to the current folder, though 7z.exe runs in its own.
  (cd "$roms" && run 0 customize "my rom.zip" --app Browser --app Sounds --no-backup --no-add)
  entries "$rom" | grep -q -e Browser.apk -e audio/ && fail "not removed: $(entries "$rom")"
  [ "$(entries "$rom" | wc -l)" = 6 ] || fail "not what was planned: $(entries "$rom")"
  ;;

*)
  fail "unknown case"
  ;;
esac
echo "ok ($case)"
