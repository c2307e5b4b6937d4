#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box tests of slimkit-cli on ROM zips built here:
#   cli_test.sh <slimkit-cli> <program build folder> <case> [<7z.exe that hangs in the removal>]
# The program is copied into a program folder of its own, with test definitions, an add folder
# and the undo template. On Windows (case "windows") it runs under Wine with the 7z.exe it ships
# with; every other case runs the Linux build.
set -euo pipefail
built=$1
build=$2
case=$3
top=$(cd "$(dirname "$0")/../.." && pwd)

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
  if [ "$case" = windows ]; then
    for stream in out err; do tr -d '\r' <"$work/$stream" >"$work/lf" && mv "$work/lf" "$work/$stream"; done
  fi
  [ "$got" = "$want" ] || fail "exit $got, not $want: $*"$'\n'"$(cat "$work/out" "$work/err")"
}

# The ROM is as it was, and nothing was written beside it.
untouched() {
  cmp -s "$rom" "$pristine" || fail "the ROM zip changed: $*"
  [ "$(ls -A "$roms")" = "my rom.zip" ] || fail "files beside the ROM ($*): $(ls -A "$roms")"
}

# The files of a zip, folders left out.
# Whether process $1 still runs. An orphan is a zombie until whoever adopted it collects it:
# that one has ended too.
running() { [ -e "/proc/$1" ] && [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" != Z ]; }
# Whether process $1 has ended within half a minute: a process killed by another is gone only
# once the kernel has taken it down.
ends() {
  local end=$((SECONDS + 30))
  while running "$1" && [ $SECONDS -lt $end ]; do sleep 0.05; done
  ! running "$1"
}
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
  [ ! -s "$work/err" ] || fail "--help wrote to the error stream: $(cat "$work/err")"
  cp "$work/out" "$work/help"
  run 0 help
  cmp -s "$work/out" "$work/help" || fail "help differs from --help"
  for command in apps plan customize help; do
    run 0 help "$command"
    grep -q "^Usage: slimkit-cli $command" "$work/out" || fail "help $command: $(cat "$work/out")"
    cp "$work/out" "$work/help-$command"
    run 0 "$command" --help
    cmp -s "$work/out" "$work/help-$command" || fail "$command --help differs from help $command"
  done
  grep -q -- '--files' "$work/help-plan" || fail "plan's help lacks --files"
  grep -q -- '--no-backup' "$work/help-plan" && fail "plan's help names customize's options"
  for version in --version "plan --version"; do
    run 0 $version
    grep -qx 'slimkit-cli [0-9.]*' "$work/out" || fail "$version: $(cat "$work/out")"
  done
  # The manual page names every option and command the help does, and no other.
  options() { grep -oE -- '(^|[ [,])--?[a-z][-a-z]*' "$1" | tr -d ' [,' | sed 's/\\//g' | sort -u; }
  man="$top/docs/slimkit-cli.1"
  sed 's/\\-/-/g' "$man" >"$work/man"
  diff <(options "$work/help") <(options "$work/man") >&2 || fail "the manual's options differ from --help's"
  for command in apps plan customize help; do
    grep -q "^\\.SS $command" "$man" || fail "the manual lacks $command"
  done
  grep -q "^\\.TH SLIMKIT-CLI 1 .*slimkit-cli $(grep -oE '[0-9.]+' <<<"$("${cli[@]}" --version)")" "$man" ||
    fail "the manual's version differs"
  # So does the CLI reference in its tables of commands and options; it gives every exit code the
  # help gives, and names every field the JSON documents hold (in code: `field` or {a, field}).
  reference="$top/docs/cli.md"
  section() { sed -n "/^## $1/,/^## /p" "$reference"; }
  { section Commands; section Options; } >"$work/reference-options"
  [ -s "$work/reference-options" ] || fail "no tables of commands and options in $reference"
  diff <(options "$work/help") <(options <(tr '`(' '  ' <"$work/reference-options")) >&2 ||
    fail "the options of docs/cli.md differ from --help's"
  for code in $(tr '\n' ' ' <"$work/help" | grep -oE '(: |; )[0-9]+ [a-z]' | grep -oE '[0-9]+'); do
    section 'Exit codes' | grep -qE "^\| \`$code\`" || fail "docs/cli.md lacks the exit code $code"
  done
  section 'The JSON documents' | grep -oE '`[^`]+`' | grep -oE '[A-Za-z]+' | sort -u >"$work/fields"
  for field in $(grep -ohE 'key\("[A-Za-z]+"\)' "$top"/src/cli/*.cpp | cut -d'"' -f2 | sort -u); do
    grep -qx "$field" "$work/fields" || fail "docs/cli.md lacks the JSON field $field"
  done

  run 0 apps --json
  python3 - "$work/out" <<'EOF2' || fail "apps --json"
import json, sys
document = json.load(open(sys.argv[1]))
assert document["version"] == 1 and document["command"] == "apps", document
assert document["result"] == "done" and document["exitCode"] == 0, document
apps = document["apps"]
assert [a["name"] for a in apps] == ["Browser", "Clock", "My Notes", "Sounds"], apps
clock = apps[1]
assert clock["mode"] == "App/Widget" and clock["ticked"] is True, clock
assert clock["definition"].endswith("clock.ini"), clock
EOF2

  # Names as apps prints them, from a UTF-8 and from an 8-bit definition file, and two apps of
  # one name told apart by their definition files.
  printf '\xef\xbb\xbf[main]\nappname = Z\xc3\xa4hler\n[files]\n1 = system/app/Browser.apk\n' \
    >"$program/app/remove/counter.ini"
  printf '[main]\nappname = Gr\xfc\xdfe\n[files]\n1 = system/app/Kept.apk\n' \
    >"$program/app/remove/greetings.ini"
  write_definition Twin "1 = system/app/Clock.apk"
  mv "$program/app/remove/Twin.ini" "$program/app/remove/twin-a.ini"
  write_definition Twin "1 = system/app/Kept.apk"
  mv "$program/app/remove/Twin.ini" "$program/app/remove/twin-b.ini"
  # Beyond Latin-1: UTF-8 with and without the byte-order mark.
  printf '\xef\xbb\xbf[main]\nappname = \xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1\n[files]\n1 = system/app/Omega.apk\n' \
    >"$program/app/remove/omega.ini"
  printf '[main]\nappname = \xe6\x97\xa5\xe6\x9c\xac\n[files]\n1 = system/app/Nihon.apk\n' \
    >"$program/app/remove/nihon.ini"
  run 0 apps --names
  grep -qx 'Zähler' "$work/out" && grep -qx 'Grüße' "$work/out" || fail "apps --names: $(cat "$work/out")"
  run 0 apps --json
  python3 - "$work/out" <<'EOF2' || fail "names in UTF-8: $(cat "$work/out")"
import json, sys
names = {a["name"] for a in json.load(open(sys.argv[1], encoding="utf-8"))["apps"]}
assert {"Zähler", "Grüße", "Ωμέγα", "日本"} <= names, names
EOF2
  rm "$program/app/remove/omega.ini" "$program/app/remove/nihon.ini"
  run 0 apps
  grep -q '^\[ \] Zähler  .*counter.ini$' "$work/out" || fail "apps: $(cat "$work/out")"
  [ "$(grep -c '^\[ \] Twin .*twin-[ab].ini$' "$work/out")" = 2 ] || fail "twins: $(cat "$work/out")"
  run 0 plan "$rom" --app zähler --app Grüße --json
  python3 - "$work/out" <<'EOF2' || fail "names as printed: $(cat "$work/out")"
import json, sys
plan = json.load(open(sys.argv[1]))["plan"]
assert [(a["name"], a["removes"][0]["path"]) for a in plan["apps"]] == [
    ("Grüße", "system/app/Kept.apk"), ("Zähler", "system/app/Browser.apk")], plan["apps"]
EOF2
  run 2 plan "$rom" --app twin
  grep -q '2 apps are named "twin" (.*twin-a.ini, .*twin-b.ini): pick one with --definition FILE' \
    "$work/err" || fail "twins not told apart: $(cat "$work/err")"
  run 0 plan "$rom" --definition twin-b.ini --definition "$program/app/remove/clock.ini=widget" --json
  python3 - "$work/out" <<'EOF2' || fail "--definition: $(cat "$work/out")"
import json, sys
apps = json.load(open(sys.argv[1]))["plan"]["apps"]
assert [(a["name"], a["mode"], a["definition"].rsplit("/", 1)[-1]) for a in apps] == [
    ("Clock", "Widget", "clock.ini"), ("Twin", "App", "twin-b.ini")], apps
EOF2
  # A path that isn't UTF-8 keeps its bytes.
  odd=$(printf '%s/r\xe9 rom.zip' "$work")
  cp "$pristine" "$odd"
  run 0 plan "$odd" --app Browser --json
  python3 - "$work/out" "$odd" <<'EOF2' || fail "a path that isn't UTF-8: $(cat "$work/out")"
import base64, json, os, sys
rom = json.load(open(sys.argv[1], encoding="utf-8"))["rom"]
assert base64.b64decode(rom["bytes"]) == os.fsencode(sys.argv[2]), rom
assert rom["text"].endswith("/r\ufffd rom.zip"), rom
EOF2
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
    cp "$work/err" "$work/reason"
    # With --json, the same refusal as a document that says why.
    run 2 --json "$@"
    cmp -s "$work/err" "$work/reason" || fail "$why: another reason with --json: $(cat "$work/err")"
    python3 - "$work/out" "$work/reason" <<'EOF2' || fail "$why: the document: $(cat "$work/out")"
import json, sys
document = json.load(open(sys.argv[1]))
reason = open(sys.argv[2]).read()
assert document["version"] == 1 and document["result"] == "refused", document
assert document["exitCode"] == 2 and document["reason"], document
assert " ".join(document["reason"]) in reason, (document, reason)
EOF2
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
--app whose name is an option|plan "$rom" --app --help
a ROM after --|plan -- "$roms/missing.zip"
an option after --|plan "$rom" -- --app
help on nothing known|help slim
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
  run 2 plan "$rom" --app --help
  grep -q -- "--app needs a value" "$work/err" || fail "--app --help: $(cat "$work/err")"
  rm -f "$roms/notes.zip" "$roms/empty.zip"
  # A removal the undo zip can't give back: plan shows why, customize refuses it.
  write_definition Installer "1 = META-INF/com/google/android/updater-script"
  run 0 plan "$rom" --app Installer --undo-zip
  grep -q "^Refused: META-INF/com/google/android/updater-script: the undo zip's installer" \
    "$work/out" || fail "plan's refusal: $(cat "$work/out")"
  run 2 customize "$rom" --app Installer --undo-zip
  grep -q "updater-script: the undo zip's installer has a file of this name" "$work/err" ||
    fail "customize's refusal: $(cat "$work/err")"
  untouched "a removal the undo zip can't give back"
  rm "$program/app/remove/Installer.ini"
  # The pipeline's refusals end the run with 2 and write nothing (their texts are its tests').
  # A ROM zip that is cut short.
  head -c 9000 "$pristine" >"$work/cut.zip"
  run 2 customize "$work/cut.zip"
  # What the add folder can't give, and a ROM path the archiver can't be handed.
  ln -s "$work/fifo" "$program/app/add/pipe"
  run 2 customize "$rom" --app Browser
  untouched "FIFO in the add folder"
  rm "$program/app/add/pipe"
  # A name that would reach 7z as two: a file, and a folder it is never to pack.
  mkdir -p "$program/app/add/lnk"
  printf 'odd' >"$program/app/add/x"$'\n'"lnk"
  run 2 customize "$rom" --app Browser
  untouched "a line break in an add folder name"
  rm -r "$program/app/add/"*
  ;;

run)
  mkdir -p "$program/app/add/system/app" "$program/app/add/system/xbin"
  printf 'new' >"$program/app/add/system/app/New App.apk"
  printf 'tool' >"$program/app/add/system/xbin/tool"
  printf 'kept, replaced' >"$program/app/add/system/app/Kept.apk"
  printf '[Remove]\nbrowser = 2\nclock = 0\nnobody = 2\n' >"$work/list.ini"
  selection=(--app "My Notes" --app Sounds)
  # The list from the standard input, the ROM after "--".
  (cd "$roms" && run 0 plan --json --list - "${selection[@]}" -- "my rom.zip" <"$work/list.ini")
  cp "$work/out" "$work/plan.json"
  untouched "plan"
  # For a person: the summary first, a line per app, the files only when asked for; the list
  # from a FIFO.
  mkfifo "$work/list.fifo"
  cat "$work/list.ini" >"$work/list.fifo" &
  run 0 plan "$rom" --list "$work/list.fifo" "${selection[@]}"
  sed -n 2p "$work/out" | grep -qx 'Removes 4 files, 15.6 KiB (15.[0-9] KiB in the zip), of 3 apps; adds 2 files, replaces 1 file' ||
    fail "no summary first: $(cat "$work/out")"
  sed -n 3p "$work/out" | grep -qE '^ROM zip: 3[0-9]\.[0-9] KiB now, about 1[0-9]\.[0-9] KiB after$' ||
    fail "no ROM size: $(cat "$work/out")"
  grep -qE '^  Browser \(App\) +1 file +3\.9 KiB +1 path absent$' "$work/out" || fail "Browser's line: $(cat "$work/out")"
  grep -qE '^  Sounds \(App\) +2 files +7\.8 KiB$' "$work/out" || fail "Sounds' line: $(cat "$work/out")"
  grep -q 'system/' "$work/out" && fail "files listed unasked: $(cat "$work/out")"
  # An app whose files an earlier one takes says so; an absent path is named once.
  write_definition Later "1 = system/app/Browser.apk" "2 = system/app/Gone.apk" "3 = system/app/Gone.apk"
  run 0 plan "$rom" --list /dev/stdin --app Later --app Sounds --no-add --files <"$work/list.ini"
  grep -qE '^  Later \(App\) +0 files +1 path absent; files also of Browser, counted there$' "$work/out" ||
    fail "Later's line: $(cat "$work/out")"
  [ "$(grep -c 'absent: system/app/Gone.apk' "$work/out")" = 1 ] || fail "absent twice: $(cat "$work/out")"
  grep -qx '    - system/media/audio/a.ogg  3.9 KiB' "$work/out" || fail "--files: $(cat "$work/out")"
  rm "$program/app/remove/Later.ini"
  run 0 customize "$rom" --list <(cat "$work/list.ini") "${selection[@]}" --undo-zip
  # Steps go to the error stream, one line each off a terminal; the results to the output,
  # the outcome last.
  grep -qx 'Removing files \.\.\.' "$work/err" || fail "no plain step line: $(cat "$work/err")"
  grep -q $'\r' "$work/err" && fail "a line redrawn on a pipe"
  grep -q '\.\.\.' "$work/out" && fail "steps among the results: $(cat "$work/out")"
  grep -qxF "Backup: ${rom}_BU_0" "$work/out" || fail "no backup named: $(cat "$work/out")"
  [ "$(tail -n 1 "$work/out")" = "done: 7z reads the ROM zip whole, and it holds what was planned" ] ||
    fail "the outcome isn't last: $(cat "$work/out")"
  cmp -s "$rom""_BU_0" "$pristine" || fail "the backup differs from the ROM"
  [ -f "$rom""_undo.zip" ] || fail "no undo zip"
  entries "$pristine" >"$work/before"
  entries "$rom" >"$work/after"
  python3 - "$work/plan.json" "$work/before" "$work/after" "$pristine" "$rom" <<'EOF' || fail "the run differs from the plan"
import json, os, sys
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
assert plan["romSize"] == os.path.getsize(sys.argv[4]), plan
assert abs(plan["romSizeAfter"] - os.path.getsize(sys.argv[5])) < plan["romSize"] * 0.03, plan
EOF
  # Again, with JSON: nothing left to remove, the add folder replaces what it added.
  run 0 customize "$rom" --app Browser --no-backup --json
  python3 - "$work/out" <<'EOF' || fail "customize --json: $(cat "$work/out")"
import json, sys
result = json.load(open(sys.argv[1]))
assert result["version"] == 1 and result["command"] == "customize", result
assert result["result"] == "done" and result["exitCode"] == 0, result
assert result["backup"] is None and result["undoZip"] is None, result
assert result["filesRemoved"] == 0 and result["filesReplaced"] == 3, result
assert result["check"] == {"zipTested": True, "notRemoved": [], "notAdded": [], "changed": []}
assert result["messages"] == [{"title": "Finish", "lines": ["Customzation done ;)"]}], result
EOF
  # Nothing to remove and nothing to add: said so, and nothing written, not even a backup.
  cp "$rom" "$work/slimmed.zip"
  ls -A "$roms" >"$work/beside"
  run 0 customize "$rom" --app Browser --no-add -q
  [ "$(cat "$work/out")" = "nothing to do: no file of the selection is in this ROM zip and nothing is to be added; nothing was written" ] ||
    fail "nothing to do: $(cat "$work/out" "$work/err")"
  [ ! -s "$work/err" ] || fail "steps shown when quiet: $(cat "$work/err")"
  cmp -s "$rom" "$work/slimmed.zip" && ls -A "$roms" | cmp -s - "$work/beside" ||
    fail "written with nothing to do: $(ls -A "$roms")"
  # A path that can't name an entry is left out, and the run says so apart from a failure.
  cp "$pristine" "$rom"
  write_definition Odd "1 = system/app//Kept.apk" "2 = build.prop"
  run 4 customize "$rom" --app Odd --no-backup --no-add --json
  python3 - "$work/out" <<'EOF' || fail "a path left out: $(cat "$work/out")"
import json, sys
result = json.load(open(sys.argv[1]))
assert result["result"] == "skipped" and result["exitCode"] == 4, result
assert result["skipped"] == ["system/app//Kept.apk"] and result["filesRemoved"] == 1, result
assert result["check"]["zipTested"] is True, result
assert all("\r" not in line for m in result["messages"] for line in m["lines"]), result
assert len(result["messages"][0]["lines"]) > 1, result
EOF
  cp "$pristine" "$rom"
  run 4 customize "$rom" --app Odd --no-backup --no-add
  tail -n 1 "$work/out" | grep -q '^skipped: 1 path of the selection stayed in the ROM zip' ||
    fail "a path left out: $(cat "$work/out")"
  rm "$program/app/remove/Odd.ini"
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
    script -qec "$(printf '%q ' "${cli[@]}" customize "$rom" --no-backup --no-add) >$(printf '%q' "$work/tty.out")" \
      /dev/null >"$work/tty" || fail "customize on a terminal: $(cat "$work/tty")"
    grep -qE $'\rRemoving files \.\.\.[ 0-9%]*(\rChecking the ROM zip \.\.\.[ 0-9%]*)+\rReady' \
      "$work/tty" || fail "not redrawn: $(cat -v "$work/tty")"
    grep -q $'\r' "$work/tty.out" && fail "progress among the results: $(cat -v "$work/tty.out")"
    tail -n 1 "$work/tty.out" | grep -q '^done: ' || fail "no outcome: $(cat "$work/tty.out")"
    # Quiet, or with the error stream off the terminal, nothing is redrawn.
    cp "$pristine" "$rom"
    script -qec "$(printf '%q ' "${cli[@]}" customize "$rom" --no-backup --no-add -q)" \
      /dev/null >"$work/tty" || fail "quiet on a terminal: $(cat "$work/tty")"
    grep -q 'Removing' "$work/tty" && fail "steps shown when quiet: $(cat -v "$work/tty")"
    cp "$pristine" "$rom"
    script -qec "$(printf '%q ' "${cli[@]}" customize "$rom" --no-backup --no-add) 2>$(printf '%q' "$work/tty.err")" \
      /dev/null >"$work/tty" || fail "customize, errors to a file: $(cat "$work/tty")"
    grep -q $'\r' "$work/tty.err" && fail "redrawn off a terminal: $(cat -v "$work/tty.err")"
    grep -qx 'Removing files \.\.\.' "$work/tty.err" || fail "no step line: $(cat "$work/tty.err")"
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
if [ "\$1" = l ] && [ -e "$work/hang-check" ] && ! cmp -s "$rom" "$pristine"; then
  echo \$\$ >"$work/7z.pid"; : >"$work/halfway"; exec "$work/bin/listing-7z" 120
fi
if [ "\$1" = d ] && [ ! -e "$work/hang-check" ]; then
  echo \$\$ >"$work/7z.pid"
  if [ -e "$work/hang" ]; then : >"$rom.tmp"; : >"$work/halfway"; exec sleep 120; fi
  (while [ ! -e "$rom.tmp" ]; do sleep 0.01; done; kill -STOP \$\$; : >"$work/halfway") &
fi
exec "$real" "\$@"
EOF
  chmod +x "$work/bin/7z"
  export PATH="$work/bin:$PATH"
  # The ROM is listed while the catalogue is read: a plan ended meanwhile stops that 7z.
  cp "$(command -v sleep)" "$work/bin/listing-7z"
  : >"$work/hang-list"
  "${cli[@]}" plan "$rom" --app Browser >/dev/null 2>&1 &
  plan_pid=$! waited=0 got=0
  until pgrep -f "$work/bin/listing-7z" >/dev/null; do
    sleep 0.05; waited=$((waited + 1))
    [ "$waited" -lt 1200 ] || { kill "$plan_pid"; fail "the plan's listing never started"; }
  done
  listing_pid=$(pgrep -f "$work/bin/listing-7z")
  kill -TERM "$plan_pid"
  wait "$plan_pid" || got=$?
  [ "$got" = 143 ] || fail "a plan ended by SIGTERM during its listing exited $got, not 143"
  ends "$listing_pid" || fail "the listing's 7z outlived an ended plan"
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
    ends "$(cat "$work/7z.pid")" || fail "7z outlived the program ($1)"
    [ "$#" -gt 1 ] || untouched "stopped ($1)"
  }
  # Stopped while 7z lists the ROM zip for the check after the removal: the removal stands, and
  # the summary says so and that the ROM zip was not checked.
  : >"$work/hang-check"
  stop_halfway "the check's listing" removed
  grep -qx "stopped: while 7z listed the ROM zip for its check; the step before had changed it, and it was not checked" \
    "$work/out" || fail "stopped in the check: $(cat "$work/out" "$work/err")"
  rm "$work/hang-check"
  entries "$rom" | grep -q Browser.apk && fail "stopped in the check: the removal did not stand"
  [ "$(ls -A "$roms")" = "my rom.zip" ] || fail "stopped in the check: left $(ls -A "$roms")"
  cp "$pristine" "$rom"
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
  # Killed outright while 7z hangs, first in the extraction for the undo zip, then in the adding
  # (having begun its new ROM zip), the program takes 7z with it. It leaves what
  # docs/when-a-step-fails.md names, and the next run on the ROM zip removes that, and nothing
  # else.
  mkdir "$work/bin"
  cat >"$work/bin/7z" <<EOF
#!/bin/sh
[ "\$1" = "\$(cat "$work/hang-in")" ] || exec "$(command -v 7z)" "\$@"
[ "\$1" = a ] && : >"$rom.tmp"
echo \$\$ >"$work/7z.pid.new" && mv "$work/7z.pid.new" "$work/7z.pid"
exec sleep 300
EOF
  chmod +x "$work/bin/7z"
  kill_in() {  # the 7z command to kill the program in, then its arguments
    local cli_pid hung
    printf '%s' "$1" >"$work/hang-in"
    shift
    rm -f "$work/7z.pid"
    PATH="$work/bin:$PATH" "${cli[@]}" "$@" >"$work/out" 2>&1 &
    cli_pid=$!
    for _ in $(seq 1200); do [ -e "$work/7z.pid" ] && break; sleep 0.05; done
    [ -e "$work/7z.pid" ] || { kill "$cli_pid"; fail "7z never ran"; }
    kill -KILL "$cli_pid"
    wait "$cli_pid" || true
    hung=$(cat "$work/7z.pid")
    ends "$hung" || { kill -KILL "$hung"; fail "7z outlived the killed program"; }
  }
  # Names made to stand for the random parts of temporary names, in the order of what stands for
  # them: the run folder's digits come from the path of a temporary ROM.
  beside() { ls -A "$roms" | sed -E 's/\.[A-Za-z0-9]{6}$/.XXXXXX/' | LC_ALL=C sort | tr '\n' '|'; }
  extracting() { ls -A "$program/app/undo/files" | sed -E 's/^run-[0-9a-f]{16}-[A-Za-z0-9]{6}$/run-H-X/' | LC_ALL=C sort | tr '\n' '|'; }
  # Another ROM's run, under way, keeps its folder.
  mkdir "$program/app/undo/files/run-0123456789abcdef-Other12"
  kill_in x customize "$rom" --app Browser --no-backup --no-add --undo-zip
  [ "$(beside)" = "my rom.zip|my rom.zip.slimkit-lock|my rom.zip_undo.zip.XXXXXX|" ] ||
    fail "not what the docs name as left: $(beside)"
  [ "$(extracting)" = "run-0123456789abcdef-Other12|run-H-X|" ] ||
    fail "not what the docs name as left: $(extracting)"
  printf 'new' >"$program/app/add/New.apk"
  kill_in a customize "$rom" --app Browser --no-backup
  cmp -s "$rom" "$pristine" && fail "the removal did not run"
  [ "$(beside)" = "my rom.zip|my rom.zip.slimkit-lock|my rom.zip.tmp|my rom.zip_add_list_0|" ] ||
    fail "not what the docs name as left: $(beside)"
  [ "$(extracting)" = "run-0123456789abcdef-Other12|" ] || fail "not removed: $(extracting)"
  printf 'mine' >"$roms/my rom.zip_add_list_notes"
  run 0 customize "$rom" --app Clock --no-backup
  [ "$(beside)" = "my rom.zip|my rom.zip_add_list_notes|" ] || fail "left beside the ROM zip: $(beside)"
  [ "$(extracting)" = "run-0123456789abcdef-Other12|" ] || fail "extraction folder: $(extracting)"
  ;;

side_by_side)
  # Two runs on one ROM zip, from two program folders: the first holds in its removal, on a
  # FIFO, until the second has been refused before writing anything; then it ends as if alone.
  real=$(command -v 7z)
  mkdir "$work/bin"
  mkfifo "$work/go"
  cat >"$work/bin/7z" <<EOF
#!/bin/sh
if [ "\$1" = d ]; then : >"$work/removing"; read -r line <"$work/go"; fi
exec "$real" "\$@"
EOF
  chmod +x "$work/bin/7z"
  cp -r "$program" "$work/program 2"
  PATH="$work/bin:$PATH" "${cli[@]}" customize "$rom" --app Browser --no-add >"$work/first" 2>&1 &
  first=$!
  trap 'kill "$first" 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 1200); do [ -e "$work/removing" ] && break; sleep 0.05; done
  [ -e "$work/removing" ] || fail "the first run never got to its removal"
  beside=$(ls -A "$roms")
  ln -s "$rom" "$work/link.zip"
  cli=("$work/program 2/$(basename "$built")")
  run 2 customize "$work/link.zip" --app Clock --undo-zip
  grep -qF "slimkit-cli: Another run is working on this ROM zip: $rom" "$work/err" ||
    fail "not refused for the other run: $(cat "$work/err")"
  [ "$(ls -A "$roms")" = "$beside" ] || fail "the refused run wrote beside the ROM: $(ls -A "$roms")"
  echo go >"$work/go"
  got=0 && wait "$first" || got=$?
  [ "$got" = 0 ] || fail "the first run: exit $got: $(cat "$work/first")"
  # A lock file left by a killed run is taken over, and removed at the end.
  : >"$rom.slimkit-lock"
  run 0 customize "$work/link.zip" --app Clock --no-backup --no-add
  [ "$(ls -A "$roms" | tr '\n' '|')" = "my rom.zip|my rom.zip_BU_0|" ] ||
    fail "left beside the ROM zip: $(ls -A "$roms")"
  ;;

install)
  # Installed as cmake installs it: the manual page and both shells' completion beside the
  # program, the completion tried with bash and zsh themselves on the installed program.
  installed="$work/installed"
  cmake --install "$build" --prefix "$installed" >/dev/null || fail "cmake --install"
  cmp -s "$installed/share/man/man1/slimkit-cli.1" "$top/docs/slimkit-cli.1" || fail "no manual page"
  MANWIDTH=100 man -l "$installed/share/man/man1/slimkit-cli.1" 2>/dev/null | grep -q -- '--definition FILE' ||
    fail "the manual page doesn't read"
  printf '\xef\xbb\xbf[main]\nappname = Z\xc3\xa4hler\n[files]\n1 = system/app/Browser.apk\n' \
    >"$installed/app/remove/counter.ini"
  cp "$program/app/remove/MyNotes.ini" "$installed/app/remove/"
  export LC_ALL=C.UTF-8
  bash_completes() {  # the words of a command line, the last one under the cursor
    bash --norc --noprofile -c 'source "$1" && shift && complete -p slimkit-cli >/dev/null &&
      COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && _slimkit_cli && printf "%s\n" "${COMPREPLY[@]}"' \
      _ "$installed/share/bash-completion/completions/slimkit-cli" "$installed/slimkit-cli" "$@" |
      sort
  }
  zsh_completes() {  # a command line, completed at its end
    zsh -f "$top/tests/cli/zsh_complete.zsh" "$installed/share/zsh/site-functions" "$installed" \
      "slimkit-cli $1" | sort -u
  }
  expect() {  # what, wanted (one a line), got
    [ "$2" = "$3" ] || fail "$1: got"$'\n'"$3"$'\n'"not"$'\n'"$2"
  }
  expect "bash: commands" $'--help\n--version\napps\ncustomize\nhelp\nplan' "$(bash_completes "")"
  expect "bash: plan's options" $'--no-add' "$(bash_completes plan rom.zip --no)"
  expect "bash: customize's options" $'--no-add\n--no-backup' "$(bash_completes customize rom.zip --no)"
  expect "bash: an app" 'My\ Notes' "$(bash_completes customize rom.zip --app My)"
  expect "bash: an app after =" 'Zähler' "$(bash_completes plan --app = Z)"
  expect "bash: help" 'plan' "$(bash_completes help pl)"
  expect "zsh: commands" $'--help\n--version\napps\ncustomize\nhelp\nplan' "$(zsh_completes "")"
  expect "zsh: plan's options" $'--no-add' "$(zsh_completes "plan rom.zip --no")"
  expect "zsh: customize's options" $'--no-add\n--no-backup' "$(zsh_completes "customize rom.zip --no")"
  expect "zsh: an app" 'My\ Notes' "$(zsh_completes "customize rom.zip --app My")"
  expect "zsh: an app" 'Zähler' "$(zsh_completes "plan rom.zip --app=Z")"
  # The installed program, as a script runs it: the names the completion offers are taken.
  "$installed/slimkit-cli" plan "$rom" --app Zähler --app "My Notes" --no-add --json </dev/null \
    >"$work/out" 2>"$work/err" || fail "plan with the installed program: $(cat "$work/err")"
  grep -q '"filesRemoved":2,' "$work/out" || fail "plan with the installed program: $(cat "$work/out")"
  ;;

windows)
  run 0 --version
  run 0 apps --json
  grep -q '"name":"Clock","mode":"App/Widget","ticked":true' "$work/out" || fail "apps: $(cat "$work/out")"
  run 0 plan "$ROM" --app Browser --app Sounds --json
  grep -q '"absent":\["system/app/Absent.apk"\]' "$work/out" || fail "plan: $(cat "$work/out")"
  # Paths in JSON have '/' between their folders, on Windows too: the zip's entries, which
  # 7z.exe lists with '\', as well as the files'.
  grep -qF '"removes":[{"path":"system/app/Browser.apk"' "$work/out" || fail "entry path: $(cat "$work/out")"
  grep -qF "\"rom\":\"$(printf '%s' "$ROM" | tr '\\' /)\"" "$work/out" || fail "rom path: $(cat "$work/out")"
  grep -qF "\"definition\":\"$(native "$program/app/remove/Browser.ini" | tr '\\' /)\"" "$work/out" ||
    fail "definition path: $(cat "$work/out")"
  grep -q '"filesRemoved":3,"bytesFreed":12000' "$work/out" || fail "plan: $(cat "$work/out")"
  untouched "plan"
  run 2 customize "$(native "$roms/missing.zip")"
  untouched "missing ROM"
  # A block-based ROM zip is refused, plan and run alike, before anything is written.
  block="$work/block"
  mkdir -p "$block"
  printf '4\n1\n0\n0\nnew 2,0,1\n' >"$block/system.transfer.list"
  head -c 4096 /dev/zero >"$block/system.new.dat"
  (cd "$block" && 7z a -tzip -bd -y "$roms/block.zip" '*' >/dev/null)
  for command in plan customize; do
    run 2 "$command" "$(native "$roms/block.zip")" --app Browser
    grep -qF "block-based ROM zips aren't supported by the Windows build yet" "$work/err" ||
      fail "$command of a block-based ROM: $(cat "$work/out" "$work/err")"
  done
  [ "$(ls -A "$roms")" = "$(printf 'block.zip\nmy rom.zip')" ] || fail "written beside: $(ls -A "$roms")"
  rm "$roms/block.zip"
  # A ROM named relative to the current folder, though 7z.exe runs in its own.
  (cd "$roms" && run 0 customize "my rom.zip" --app Browser --app Sounds --no-backup --no-add --undo-zip)
  entries "$rom" | grep -q -e Browser.apk -e audio/ && fail "not removed: $(entries "$rom")"
  [ "$(entries "$rom" | wc -l)" = 6 ] || fail "not what was planned: $(entries "$rom")"
  grep -qx 'Removing files \.\.\.' "$work/err" || fail "no step line: $(cat "$work/err")"
  [ "$(tail -n 1 "$work/out")" = "done: 7z reads the ROM zip whole, and it holds what was planned" ] ||
    fail "the outcome isn't last: $(cat "$work/out")"
  # The undo zip's files went through a folder of the run's own, gone with it.
  [ "$(entries "$rom""_undo.zip" | grep -c -e Browser.apk -e audio/)" = 3 ] ||
    fail "undo zip: $(entries "$rom""_undo.zip")"
  [ -z "$(ls -A "$program/app/undo/files")" ] || fail "left to extract: $(ls -A "$program/app/undo/files")"
  rm "$rom""_undo.zip"
  # A name 7z.exe would take without its leading blank is refused before anything is written.
  cp "$pristine" "$rom"
  printf 'odd' >"$program/app/add/ lead.apk"
  run 2 customize "$ROM" --app Browser
  grep -qF "Can't add $(native "$program/app/add/") lead.apk: 7z can't be handed a name that begins or ends with a blank or a tab" \
    "$work/err" || fail "a leading blank: $(cat "$work/err")"
  untouched "a leading blank"
  rm "$program/app/add/ lead.apk"
  # A ROM zip among the program's working files.
  cp "$pristine" "$program/app/undo/files/rom.zip"
  run 2 customize "$(native "$program/app/undo/files/rom.zip")" --app Browser
  grep -qF "Can't work on" "$work/err" || fail "a ROM among the working files: $(cat "$work/err")"
  cmp -s "$program/app/undo/files/rom.zip" "$pristine" || fail "the ROM among the working files changed"
  [ "$(ls -A "$program/app/undo/files")" = rom.zip ] || fail "written: $(ls -A "$program/app/undo/files")"
  rm "$program/app/undo/files/rom.zip"
  # The ROM's path as Windows spells it: "\\?\" and "\\.\" forms and a trailing dot name the
  # ROM itself, and its backup is named after it as the disk spells it.
  for typed in '\\?\'"$ROM" '\\.\'"$ROM" "$ROM."; do
    cp "$pristine" "$rom"
    run 0 customize "$typed" --app Browser --no-add
    [ "$(ls -A "$roms" | tr '\n' '|')" = "my rom.zip|my rom.zip_BU_0|" ] ||
      fail "$typed: beside the ROM: $(ls -A "$roms")"
    entries "$rom" | grep -q Browser.apk && fail "$typed: not removed: $(entries "$rom")"
    rm "$rom"_BU_0
  done
  # A UNC path names a share: run from C:\, \\nas-N\roms\rom.zip (no such server here) is
  # refused, and C:\nas-N\roms\rom.zip, which that path would name if taken for one below the
  # drive's root, stays as it was.
  drive_c="${WINEPREFIX:-$HOME/.wine}/drive_c"
  decoy="$drive_c/nas-$$/roms"
  mkdir -p "$decoy" && cp "$pristine" "$decoy/rom.zip"
  (cd "$drive_c" && run 2 customize "\\\\nas-$$\\roms\\rom.zip" --app Browser --no-add)
  grep -qF "Can't access \\\\nas-$$\\roms\\rom.zip" "$work/err" || fail "a UNC path: $(cat "$work/err")"
  cmp -s "$decoy/rom.zip" "$pristine" && [ "$(ls -A "$decoy")" = rom.zip ] || fail "a UNC path: C:\\ written"
  rm -rf "${decoy%/roms}"
  # The add folder as Windows has it: a folder link (a reparse point to Wine, as a junction is
  # to Windows; Wine's mklink makes neither) is left out, a file link goes in as its content,
  # and the ROM lying there, typed in another case or by its short name, never goes into itself
  # with its backup and undo zip, and keeps its name on disk.
  mkdir "$work/outside"
  printf secret >"$work/outside/Secret.apk"
  printf shown >"$work/outside/Shown.apk"
  ln -s "$work/outside" "$program/app/add/dirlink"
  ln -s "$work/outside/Shown.apk" "$program/app/add/Linked.apk"
  inside="$program/app/add/rom.zip"
  cp "$pristine" "$inside"
  short=$(winepath -s "$(native "$inside")")
  [ "$short" != "$(native "$inside")" ] || fail "no short name: $short"
  for typed in "$(native "$program")\\APP\\ADD\\ROM.ZIP" "$short"; do
    cp "$pristine" "$inside"
    run 0 customize "$typed" --app Browser --undo-zip
    [ "$(LC_ALL=C ls -A "$program/app/add" | tr '\n' '|')" = "Linked.apk|dirlink|rom.zip|rom.zip_BU_0|rom.zip_undo.zip|" ] ||
      fail "$typed: the add folder holds $(ls -A "$program/app/add")"
    [ "$(entries "$inside" | grep -c -e rom.zip -e Secret -e Browser.apk)" = 0 ] ||
      fail "$typed: added to itself or from the linked folder: $(entries "$inside")"
    [ "$(unzip -p "$inside" Linked.apk)" = shown ] || fail "$typed: the linked file: $(entries "$inside")"
    rm "$program/app/add/rom.zip"*
  done
  rm "$program/app/add/dirlink" "$program/app/add/Linked.apk"
  # A removal of a thousand long names: 7z.exe is handed them in a list file, not on its command
  # line, which could hold a third of them.
  many="$work/many"
  mkdir -p "$many/system/app"
  lines=()
  for n in $(seq 1000); do
    name="system/app/$(printf 'An app whose name is long enough to matter %04d' "$n").apk"
    printf x >"$many/$name"
    lines+=("$n = $name")
  done
  write_definition Many "${lines[@]}"
  (cd "$many" && 7z a -tzip -bd -y -r "$roms/many.zip" '*' >/dev/null)
  run 0 customize "$(native "$roms/many.zip")" --app Many --no-backup --no-add
  [ -z "$(entries "$roms/many.zip")" ] || fail "a thousand names: left $(entries "$roms/many.zip" | wc -l)"
  rm "$roms/many.zip" "$program/app/remove/Many.ini"
  # A damaged 7z.dll is named as such, not taken for a ROM 7z can't read.
  cp "$pristine" "$rom"
  damaged="$work/program damaged"
  cp -r "$program" "$damaged"
  head -c 70000 "$program/bin/win/7z.dll" >"$damaged/bin/win/7z.dll"
  cli=(wine "$damaged/$(basename "$built")")
  run 2 customize "$ROM" --app Browser
  cli=(wine "$program/$(basename "$built")")
  grep -qF "7z.dll is damaged or is no 7-Zip library for this 7z.exe: $(native "$damaged/bin/win/7z.dll")" "$work/err" ||
    fail "a damaged 7z.dll: $(cat "$work/err")"
  untouched "a damaged 7z.dll"
  rm -rf "$damaged"
  # Two slimkit-cli.exe at once on one ROM zip: the first holds in its removal, with a 7z.exe
  # that hangs there until it is ended, and the second, from another program folder, is refused.
  hang="$work/program hang"
  cp -r "$program" "$hang"
  mv "$hang/bin/win/7z.exe" "$hang/bin/win/7z-real.exe"
  cp "$4" "$hang/bin/win/7z.exe"
  wine "$hang/$(basename "$built")" customize "$ROM" --app Browser --no-backup --no-add \
    >"$work/first" 2>&1 &
  first=$!
  trap 'kill "$first" 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 1200); do [ -s "$hang/bin/win/hang.pid" ] && break; sleep 0.05; done
  [ -s "$hang/bin/win/hang.pid" ] || fail "the first run never got to its removal"
  beside=$(ls -A "$roms")
  run 2 customize "$ROM" --app Clock
  grep -qF "Another run is working on this ROM zip: $ROM" "$work/err" ||
    fail "not refused for the other run: $(cat "$work/err")"
  [ "$(ls -A "$roms")" = "$beside" ] || fail "the refused run wrote beside the ROM: $(ls -A "$roms")"
  # Killed outright, the first run leaves 7z's temporary file; its lock goes with it, and the
  # next run removes that file.
  kill -KILL "$first"
  wait "$first" || true
  for _ in $(seq 1200); do [ -e "$rom.slimkit-lock" ] || break; sleep 0.05; done
  [ "$(ls -A "$roms" | tr '\n' '|')" = "my rom.zip|my rom.zip.tmp|" ] ||
    fail "not what the docs name as left: $(ls -A "$roms")"
  cmp -s "$rom" "$pristine" || fail "the ROM zip changed"
  run 0 customize "$ROM" --app Browser --no-backup --no-add
  [ "$(ls -A "$roms")" = "my rom.zip" ] || fail "left beside the ROM: $(ls -A "$roms")"
  # Nothing left to remove: said so, nothing written.
  ls -A "$roms" >"$work/beside" && cp "$rom" "$work/slimmed.zip"
  run 0 customize "$ROM" --app Browser --no-add
  grep -q '^nothing to do: ' "$work/out" || fail "nothing to do: $(cat "$work/out")"
  cmp -s "$rom" "$work/slimmed.zip" && ls -A "$roms" | cmp -s - "$work/beside" || fail "written"
  # Help, a refusal's document, the list from the standard input, a name as apps prints it.
  run 0 plan --help
  grep -q '^Usage: slimkit-cli plan' "$work/out" || fail "plan --help: $(cat "$work/out")"
  run 2 --json customize "$ROM" --app Nothing
  grep -q '"version":1,"command":"customize","result":"refused","exitCode":2,"reason":\["no app named' \
    "$work/out" || fail "no refusal document: $(cat "$work/out")"
  printf '\xef\xbb\xbf[main]\nappname = Z\xc3\xa4hler\n[files]\n1 = system/app/Kept.apk\n' \
    >"$program/app/remove/counter.ini"
  printf '\xef\xbb\xbf[main]\nappname = \xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1\n[files]\n1 = system/app/Omega.apk\n' \
    >"$program/app/remove/omega.ini"
  printf '[main]\nappname = Caf\xe9 \x80\n[files]\n1 = system/app/Cafe.apk\n' >"$program/app/remove/cafe.ini"
  run 0 apps --names
  grep -qx 'Zähler' "$work/out" && grep -qx 'Ωμέγα' "$work/out" && grep -qx 'Café €' "$work/out" ||
    fail "apps --names: $(cat "$work/out")"
  run 0 apps --json
  python3 - "$work/out" <<'EOF2' || fail "names in UTF-8: $(cat "$work/out")"
import json, sys
names = {a["name"] for a in json.load(open(sys.argv[1], encoding="utf-8"))["apps"]}
assert {"Zähler", "Ωμέγα", "Café €"} <= names, names
EOF2
  rm "$program/app/remove/omega.ini" "$program/app/remove/cafe.ini"
  printf '[Remove]\nclock = 2\n' | run 0 plan "$ROM" --list - --app Zähler --no-add --json
  grep -q '"name":"Clock".*"name":"Zähler"' "$work/out" || fail "plan: $(cat "$work/out")"
  # The apps of a ROM, found and read through 7z.exe's listing, and one removed by its package
  # with its folder.
  fixtures="$build/tests/apk-fixtures"
  apps="$work/apps source"
  mkdir -p "$apps/system/priv-app/One/lib/arm" "$apps/system/app"
  cp "$fixtures/apk/01.apk" "$apps/system/priv-app/One/One.apk"
  echo lib >"$apps/system/priv-app/One/lib/arm/libone.so"
  cp "$fixtures/apk/03.apk" "$apps/system/app/Flat.apk"
  echo odex >"$apps/system/app/Flat.odex"
  (cd "$apps" && 7z a -tzip -bd -y -r "$roms/apps.zip" '*' >/dev/null)
  run 0 apps "$(native "$roms/apps.zip")" --json
  python3 - "$work/out" <<'EOF2' || fail "apps of a ROM: $(cat "$work/out")"
import json, sys
apps = {a["name"]: a for a in json.load(open(sys.argv[1]))["apps"]}
one = apps["App 1"]["romApps"][0]
assert one["package"] == "org.slimkit.test1.app" and one["versionName"] == "1.1-res", one
assert sorted(f.replace("\\", "/") for f in one["files"]) == [
    "system/priv-app/One", "system/priv-app/One/One.apk", "system/priv-app/One/lib",
    "system/priv-app/One/lib/arm", "system/priv-app/One/lib/arm/libone.so"], one
assert apps["Real App 3"]["romApps"][0]["size"] == 10947 + 5, apps["Real App 3"]
EOF2
  # App knowledge read from a Windows path: a Greek description, an Unsafe app refused.
  printf '{"org.slimkit.test1.app": {"removal": "Unsafe", "description": "\xce\xa9 core"}}' \
    >"$work/knowledge.json"
  run 0 apps "$(native "$roms/apps.zip")" --knowledge "$(native "$work/knowledge.json")" --json
  python3 - "$work/out" <<'EOF2' || fail "apps --knowledge: $(cat "$work/out")"
import json, sys
apps = {a["name"]: a for a in json.load(open(sys.argv[1], encoding="utf-8"))["apps"]}
assert apps["App 1"]["knowledge"]["removal"] == "Unsafe", apps["App 1"]
assert apps["App 1"]["knowledge"]["description"] == "Ω core", apps["App 1"]
EOF2
  run 2 plan "$(native "$roms/apps.zip")" --app org.slimkit.test1.app \
    --knowledge "$(native "$work/knowledge.json")"
  grep -qF 'is marked Unsafe to remove in' "$work/err" || fail "Unsafe: $(cat "$work/err")"
  run 0 customize "$(native "$roms/apps.zip")" --app org.slimkit.test1.app --no-backup --no-add
  [ "$(entries "$roms/apps.zip" | tr '\n' ' ')" = "system/app/Flat.apk system/app/Flat.odex " ] ||
    fail "not removed with its folder: $(entries "$roms/apps.zip")"
  rm "$roms/apps.zip"
  # A ROM zip another program holds open: 7z.exe can't put the new zip in its place. The step
  # fails with 7z's reason, the ROM stays as it was with nothing of 7z's beside it, and what the
  # run says of the backup is what lies beside the ROM. (Wine's cmd takes no quoted name after
  # '<': the held ROM's name has no blank.)
  find "$roms" -mindepth 1 -delete
  held="$roms/held.zip"
  cp "$pristine" "$held"
  (cd "$roms" && exec wine cmd /c "ping -n 60 127.0.0.1 < held.zip > nul") &
  holder=$!
  trap 'kill "$holder" 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 300); do
    (cd "$roms" && wine cmd /c "move /y held.zip moved.zip" >/dev/null 2>&1) || break
    [ -e "$roms/moved.zip" ] || break
    mv "$roms/moved.zip" "$held"
    sleep 0.1
  done
  run 1 customize "$(native "$held")" --app Browser --no-add
  grep -q "Sharing violation" "$work/err" || fail "held open: 7z's reason: $(cat "$work/err")"
  cmp -s "$held" "$pristine" || fail "held open: the ROM zip changed"
  [ ! -e "$held.tmp" ] || fail "held open: 7z's temporary file stayed"
  if [ -e "$held""_BU_0" ]; then
    cmp -s "$held""_BU_0" "$pristine" || fail "held open: the backup is not the ROM as it was"
    grep -q "no backup of it was kept" "$work/err" && fail "held open: a backup said gone is there"
  else
    grep -q "no backup of it was kept" "$work/err" || fail "held open: the backup went unsaid"
  fi
  kill "$holder" 2>/dev/null || true
  wait "$holder" 2>/dev/null || true
  ;;

rom_apps)
  # A ROM of real APKs (built by aapt for the APK reader's tests) in several layouts, with
  # what goes with them, one that only a definition's package finds, and one that isn't an APK.
  fixtures="$build/tests/apk-fixtures"
  apps="$work/apps source"
  mkdir -p "$apps/system/priv-app/One/lib/arm" "$apps/system/priv-app/One/oat/arm" \
           "$apps/system/app" "$apps/data/app/two-1"
  cp "$fixtures/apk/01.apk" "$apps/system/priv-app/One/One.apk"
  echo lib >"$apps/system/priv-app/One/lib/arm/libone.so"
  echo odex >"$apps/system/priv-app/One/oat/arm/One.odex"
  cp "$fixtures/apk/03.apk" "$apps/system/app/Flat.apk"
  echo odex >"$apps/system/app/Flat.odex"
  cp "$fixtures/apk/06.apk" "$apps/data/app/two-1/base.apk"
  cp "$fixtures/apk/05.apk" "$apps/system/app/Browser.apk"
  echo "not a zip" >"$apps/system/app/Broken.apk"
  cp "$source/build.prop" "$apps/"
  rm -f "$rom"
  (cd "$apps" && 7z a -tzip -bd -y -r "$rom" '*' >/dev/null)
  cp "$rom" "$pristine"
  printf '[main]\nappname = Eleven\npackage = org.slimkit.test11.app\n[files]\n1 = system/app/Eleven.apk\n' \
    >"$program/app/remove/eleven.ini"
  printf '[main]\nappname = Six\npackage = org.slimkit.test6.app\n[files]\n1 = system/app/Six.apk\n' \
    >"$program/app/remove/six.ini"

  run 0 apps "$ROM"
  untouched "apps"
  grep -q '^\[ \] Real App 3  .* App  *(found in the ROM)$' "$work/out" || fail "apps: $(cat "$work/out")"
  grep -qF '      org.slimkit.test3.app · 3.0 text · ' "$work/out" || fail "apps: $(cat "$work/out")"
  grep -q '^\[ \] Eleven .*eleven.ini (not in this ROM)$' "$work/out" || fail "absent: $(cat "$work/out")"
  grep -q '^\[ \] Six .*six.ini$' "$work/out" || fail "package: $(cat "$work/out")"
  grep -q '^\[ \] Broken  .*(found in the ROM)$' "$work/out" || fail "broken: $(cat "$work/out")"
  grep -qF 'system/app/Broken.apk' "$work/out" || fail "broken: $(cat "$work/out")"
  run 0 apps "$ROM" --files
  grep -qx '        system/priv-app/One/lib/arm/libone.so' "$work/out" || fail "--files: $(cat "$work/out")"
  run 0 apps "$ROM" --json
  python3 - "$work/out" "$fixtures/expected.tsv" <<'EOF2' || fail "apps --json: $(cat "$work/out")"
import json, sys
document = json.load(open(sys.argv[1]))
assert document["version"] == 1 and document["rom"].endswith("my rom.zip"), document
expected = {}
for line in open(sys.argv[2], encoding="utf-8"):
    file, package, code, name, label = line.rstrip("\n").split("\t")
    expected[file] = (package, code, name, label)
apps = {a["name"]: a for a in document["apps"]}
def identity(app):
    return (app["package"], app["versionCode"], app["versionName"], app["label"])
one = apps[expected["01.apk"][3]]
assert one["definition"] is None and one["ticked"] is False and one["inRom"], one
[rom_app] = one["romApps"]
assert identity(rom_app) == expected["01.apk"] and rom_app["problem"] is None, rom_app
assert rom_app["apk"] == "system/priv-app/One/One.apk", rom_app
assert "system/priv-app/One/oat/arm/One.odex" in rom_app["files"], rom_app
assert one["package"] == "org.slimkit.test1.app", one
six = apps["Six"]
assert six["definition"].endswith("six.ini") and six["package"] == "org.slimkit.test6.app", six
assert [a["apk"] for a in six["romApps"]] == ["data/app/two-1/base.apk"], six
assert identity(six["romApps"][0]) == expected["06.apk"], six
browser = apps["Browser"]
assert identity(browser["romApps"][0]) == expected["05.apk"], browser
assert apps["Eleven"]["inRom"] is False and apps["Eleven"]["romApps"] == [], apps["Eleven"]
assert apps["Sounds"]["inRom"] is False, apps["Sounds"]
broken = apps["Broken"]
assert broken["package"] is None and broken["romApps"][0]["problem"], broken
assert expected["06.apk"][3] not in apps, "covered by Six's package"
EOF2

  # A found app by its package, one by its label; a definition's package takes the app's folder.
  run 0 plan "$ROM" --app org.slimkit.test1.app --app "Real App 3" --app Six --no-add --json
  untouched "plan"
  python3 - "$work/out" <<'EOF2' || fail "plan: $(cat "$work/out")"
import json, sys
plan = json.load(open(sys.argv[1]))["plan"]
assert [(a["definition"], a["package"]) for a in plan["apps"]] == [
    (None, "org.slimkit.test1.app"), (None, "org.slimkit.test3.app"),
    (plan["apps"][2]["definition"], "org.slimkit.test6.app")], plan["apps"]
removed = sorted(f["path"] for a in plan["apps"] for f in a["removes"])
assert removed == ["data/app/two-1/base.apk", "system/app/Flat.apk", "system/app/Flat.odex",
                   "system/priv-app/One/One.apk", "system/priv-app/One/lib/arm/libone.so",
                   "system/priv-app/One/oat/arm/One.odex"], removed
EOF2
  # A community list's knowledge: shown beside the apps, an Unsafe one refused unless allowed,
  # the apps that need a selected one named; a list that isn't JSON named where it breaks.
  cat >"$work/knowledge.json" <<'EOF2'
{"org.slimkit.test1.app": {"removal": "Unsafe", "description": "Starts the phone"},
 "org.slimkit.test3.app": {"removal": "Recommended", "description": "\u0395\u03bb\u03bb\u03ac\u03b4\u03b1\nline",
                           "neededBy": ["org.slimkit.test6.app"], "list": "Oem", "unknown": [1]},
 "org.slimkit.test6.app": {"dependencies": ["org.slimkit.test1.app"]}}
EOF2
  KNOWLEDGE=$(native "$work/knowledge.json")
  run 0 apps "$ROM" --knowledge "$KNOWLEDGE"
  grep -A2 '^\[ \] Real App 3 ' "$work/out" | grep -qx '      Removal: Recommended: Ελλάδα line' ||
    fail "apps --knowledge: $(cat "$work/out")"
  run 0 apps "$ROM" --knowledge "$KNOWLEDGE" --json
  python3 - "$work/out" <<'EOF2' || fail "apps --knowledge --json: $(cat "$work/out")"
import json, sys
apps = {a["name"]: a for a in json.load(open(sys.argv[1]))["apps"]}
three = apps["Real App 3"]["knowledge"]
assert three == {"removal": "Recommended", "description": "Ελλάδα\nline", "list": "Oem",
                 "labels": [], "dependencies": [], "neededBy": ["org.slimkit.test6.app"]}, three
assert apps["Six"]["knowledge"]["removal"] is None, apps["Six"]
assert apps["Broken"]["knowledge"] is None, apps["Broken"]
EOF2
  run 2 plan "$ROM" --knowledge "$KNOWLEDGE" --app org.slimkit.test1.app --no-add
  grep -qF '(org.slimkit.test1.app) is marked Unsafe to remove in ' "$work/err" &&
    grep -qF '(Starts the phone); add --allow-unsafe to remove it anyway' "$work/err" ||
    fail "Unsafe not refused: $(cat "$work/err")"
  run 0 plan "$ROM" --knowledge "$KNOWLEDGE" --app org.slimkit.test1.app --allow-unsafe \
    --app "Real App 3" --no-add
  grep -qx 'slimkit-cli: Warning: Real App 3 (org.slimkit.test3.app) is needed by org.slimkit.test6.app' \
    "$work/err" || fail "dependents not named: $(cat "$work/err")"
  grep -q 'is needed by org.slimkit.test6.app$' <(grep -v 'Real App 3' "$work/err") ||
    fail "dependents of an app named in another's dependencies: $(cat "$work/err")"
  printf '{"org.slimkit.test1.app": {"removal": "Unsafe",}}' >"$work/bad.json"
  run 2 apps "$ROM" --knowledge "$(native "$work/bad.json")"
  grep -qF "bad.json:1:48: expected '\"' to start a member's name" "$work/err" ||
    fail "a bad list: $(cat "$work/err")"
  run 2 plan "$ROM" --allow-unsafe --knowledge
  untouched "knowledge"

  printf '[Remove]\norg.slimkit.test1.app = 2\n' >"$work/list.ini"
  run 0 customize "$ROM" --list "$work/list.ini" --app broken --undo-zip --no-add
  entries "$rom" >"$work/left"
  printf '%s\n' build.prop data/app/two-1/base.apk system/app/Browser.apk system/app/Flat.apk \
    system/app/Flat.odex | diff - "$work/left" >&2 || fail "not removed with their files"
  entries "$roms/my rom.zip_undo.zip" | grep -v '^META-INF/' >"$work/saved"
  printf '%s\n' system/app/Broken.apk system/priv-app/One/One.apk \
    system/priv-app/One/lib/arm/libone.so system/priv-app/One/oat/arm/One.odex |
    diff - "$work/saved" >&2 || fail "the undo zip doesn't hold them"
  ;;

block_rom)
  # The same real APKs inside a system image that the ROM zip carries as a full image's transfer
  # list and new.dat: the apps, the plan and the run see the files inside it.
  fixtures="$build/tests/apk-fixtures"
  system="$work/system"
  mkdir -p "$system/priv-app/One/oat/arm" "$system/app"
  cp "$fixtures/apk/01.apk" "$system/priv-app/One/One.apk"
  echo odex >"$system/priv-app/One/oat/arm/One.odex"
  cp "$fixtures/apk/03.apk" "$system/app/Flat.apk"
  echo ro.build.id=TEST >"$system/build.prop"
  mke2fs -q -F -t ext4 -b 4096 -d "$system" "$work/system.img" 8M
  blocks="$work/blocks"
  mkdir -p "$blocks/META-INF/com/google/android"
  echo 'block_image_update("/dev/block/by-name/system", package_extract_file("system.transfer.list"), "system.new.dat", "system.patch.dat");' \
    >"$blocks/META-INF/com/google/android/updater-script"
  # Every block written, as the simplest full image's list does.
  python3 - "$work/system.img" "$blocks" <<'EOF2'
import os, sys
image = open(sys.argv[1], "rb").read()
count = len(image) // 4096
open(os.path.join(sys.argv[2], "system.new.dat"), "wb").write(image)
open(os.path.join(sys.argv[2], "system.transfer.list"), "w").write(
    "4\n%d\n0\n0\nerase 2,0,%d\nnew 2,0,%d\n" % (count, count, count))
EOF2
  rm -f "$rom"
  (cd "$blocks" && 7z a -tzip -bd -y -r "$rom" '*' >/dev/null)
  cp "$rom" "$pristine"

  run 0 apps "$ROM"
  untouched "apps"
  grep -q '^\[ \] Real App 3  .* App  *(found in the ROM)$' "$work/out" || fail "apps: $(cat "$work/out")"
  grep -qF 'system/priv-app/One/One.apk' "$work/out" || fail "apps: $(cat "$work/out")"
  run 0 plan "$ROM" --app org.slimkit.test1.app --no-add --json
  untouched "plan"
  python3 - "$work/out" <<'EOF2' || fail "plan: $(cat "$work/out")"
import json, sys
plan = json.load(open(sys.argv[1]))["plan"]
removed = sorted(f["path"] for a in plan["apps"] for f in a["removes"])
assert removed == ["system/priv-app/One/One.apk", "system/priv-app/One/oat/arm/One.odex"], removed
EOF2
  run 0 customize "$ROM" --app org.slimkit.test1.app --undo-zip --no-add
  entries "$rom" >"$work/left"
  printf '%s\n' META-INF/com/google/android/updater-script system.new.dat system.transfer.list |
    diff - "$work/left" >&2 || fail "the ROM zip's entries changed"
  entries "$roms/my rom.zip_undo.zip" | grep -v '^META-INF/' >"$work/saved"
  printf '%s\n' system/priv-app/One/One.apk system/priv-app/One/oat/arm/One.odex |
    diff - "$work/saved" >&2 || fail "the undo zip doesn't hold them"
  # The new list flashes a clean file system without the app.
  (cd "$work" && 7z x -bd -y -o"$work/new" "$rom" system.new.dat system.transfer.list >/dev/null)
  python3 - "$work/new" "$work/flashed.img" "$(stat -c %s "$work/system.img")" <<'EOF2'
import sys
folder, out, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
lines = open(folder + "/system.transfer.list").read().split("\n")[4:]
data = open(folder + "/system.new.dat", "rb").read()
image = bytearray(size)
used = 0
for line in filter(None, lines):
    command, ranges = line.split(" ")
    numbers = [int(n) for n in ranges.split(",")][1:]
    for first, end in zip(numbers[::2], numbers[1::2]):
        for block in range(first, end):
            if command == "new":
                image[block * 4096:(block + 1) * 4096] = data[used:used + 4096]
                used += 4096
            else:
                image[block * 4096:(block + 1) * 4096] = bytes(4096)
assert used == len(data)
open(out, "wb").write(image)
EOF2
  e2fsck -fn "$work/flashed.img" >/dev/null 2>&1 || fail "the flashed image has errors"
  debugfs -R "ls -p /priv-app" "$work/flashed.img" 2>/dev/null | grep -q One && fail "One is still there"
  debugfs -R "cat /app/Flat.apk" "$work/flashed.img" 2>/dev/null | cmp -s - "$fixtures/apk/03.apk" ||
    fail "Flat.apk changed"
  [ "$(ls -A "$roms" | grep -c '_blocks\.')" = 0 ] || fail "the image was left beside the ROM"
  ;;

*)
  fail "unknown case"
  ;;
esac
echo "ok ($case)"
