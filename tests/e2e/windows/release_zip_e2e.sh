#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The release zip as a user gets it, under Wine: unpacked into a folder whose path holds blanks,
# Greek and CJK characters, slimkit.exe started from another working folder, and a whole
# Customize on the demo ROM (which lies in such a folder too) with the recovery zip ticked and
# files of the user's own, named in Greek, in the add folder (a tool without a dot in its name
# among them, which the pattern *.* would leave out). Then the ROM zip, its backup and its undo
# zip are checked on disk, and the licence texts the zip must carry. A second run does the same on a ROM whose path is over 300 characters.
# Run inside scripts/wine-session:
#   release_zip_e2e.sh <release zip> <window_probe.exe> <make-demo-rom>
set -euo pipefail
zip=$(realpath "$1")
probe=$(realpath "$2")
make_demo_rom=$(realpath "$3")
# Wine gives names outside ASCII to Windows programs intact only from a UTF-8 locale.
export LC_ALL=C.UTF-8
work=$(mktemp -d /tmp/slimkit-release.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_helpers.sh"

home="$work/Ωmega προγράμματα/软件 工具"
roms="$work/ROMs Ελληνικά/刷机 包"
mkdir -p "$home" "$roms" "$work/elsewhere" "$work/before" "$work/undo"
unzip -q "$zip" -d "$home"
program=$(echo "$home"/slimkit-*-windows)
[ -f "$program/slimkit.exe" ] || { echo "FAIL: no slimkit-*-windows/slimkit.exe in $zip"; exit 1; }

# The licences: the program's own, and a text of each library the programs carry, each with a
# line that only that licence holds; and where the sources of 7-Zip and the libraries lie.
notice() {  # notice FILE TEXT
  [ -s "$program/$1" ] && grep -q -F "$2" "$program/$1" && pass "release: $1 holds \"$2\"" ||
    fail "release: no $1 with \"$2\" in the zip"
}
notice LICENSE.txt "GNU GENERAL PUBLIC LICENSE"
notice LICENSE.txt "Version 3, 29 June 2007"
notice bin/win/License.txt "unRAR license restriction"
notice third-party/7-Zip-License.txt "unRAR license restriction"
notice third-party/7-Zip-copying.txt "GNU LESSER GENERAL PUBLIC LICENSE"
notice third-party/7-Zip-unRarLicense.txt "unRAR"
notice third-party/libpng-LICENSE.txt "PNG Reference Library License"
notice third-party/libzip-LICENSE.txt "Dieter Baron and Thomas Klausner"
notice third-party/zlib-copyright.txt "Jean-loup Gailly and Mark Adler"
notice third-party/gcc-runtime-copyright.txt "GCC RUNTIME LIBRARY EXCEPTION"
notice third-party/mingw-w64-runtime-copyright.txt "winpthreads"
notice third-party/sources.txt "7z.exe, 7z.dll: 7zip "
rom="$roms/demo rom.zip"
sh "$make_demo_rom" "$rom" >/dev/null
cp "$rom" "$work/original.zip"
mkdir -p "$program/app/add/system/app" "$program/app/add/system/xbin"
printf 'an app of my own\n' > "$program/app/add/system/app/Ωmega.apk"
printf 'a tool of my own\n' > "$program/app/add/system/xbin/τool"

# The paths that the run removes: those of the definition files that start ticked, widget files
# included (a widget row starts as "App/Widget"), each naming one entry or a folder with
# everything below it.
ticked_paths() {
  local definition
  for definition in "$program"/app/remove/*.ini; do
    awk '
      { sub(/\r$/, "") }
      NR == 1 { sub(/^\xef\xbb\xbf/, "") }
      /^[ \t]*;/ { next }
      /^[ \t]*\[/ { group = tolower($0); gsub(/^[ \t]*\[|\].*$/, "", group); next }
      index($0, "=") {
        key = tolower(substr($0, 1, index($0, "=") - 1)); gsub(/^[ \t]+|[ \t]+$/, "", key)
        value = substr($0, index($0, "=") + 1); gsub(/^[ \t]+|[ \t]+$/, "", value)
        if (group == "main" && key == "enabled" && !("enabled" in seen)) { seen["enabled"]; enabled = value % 256 }
        else if (group == "main" && key == "widget" && !("widget" in seen)) { seen["widget"]; widget = value + 0 }
        else if (group == "files") files[++nfiles] = value
        else if (group == "widget_files") widgets[++nwidgets] = value
      }
      END {
        if (!enabled) exit
        for (i = 1; i <= nfiles; i++) print files[i]
        if (widget) for (i = 1; i <= nwidgets; i++) print widgets[i]
      }' "$definition"
  done | tr '\\' '/' | sed 's|/*$||'
}

unzip -Z1 "$work/original.zip" | sort > "$work/original.list"
ticked_paths | sort -u > "$work/ticked.list"
awk 'NR == FNR { ticked[$0]; next }
     { entry = $0; sub(/\/$/, "", entry)
       for (path = entry; path != ""; path = (i = match(path, /\/[^\/]*$/)) ? substr(path, 1, i - 1) : "")
         if (path in ticked) { print $0; next } }' \
  "$work/ticked.list" "$work/original.list" > "$work/removed.list"
grep -v '/$' "$work/removed.list" > "$work/removed-files.list" || true
[ -s "$work/removed-files.list" ] ||
  { echo "FAIL: no ticked app of the shipped definitions is in the demo ROM"; exit 1; }

(cd "$work/elsewhere" && exec wine "$program/slimkit.exe") &
pid=$!
if customize_in_window "$pid" "$(winpath "$rom")" release; then
  pass "release: Customize from $(winpath "$program") on $(winpath "$rom") ended with Finish"
fi

cmp -s "$work/original.zip" "$rom"_BU_0 && pass "release: the backup is the ROM as it was" ||
  fail "release: no whole backup beside the ROM"

{ comm -23 "$work/original.list" "$work/removed.list"; echo "system/app/Ωmega.apk"
  echo "system/xbin/τool"; } |
  sort > "$work/expected.list"
unzip -Z1 "$rom" 2>/dev/null | sort > "$work/after.list" || true
if diff -u "$work/expected.list" "$work/after.list" > "$work/rom.diff"; then
  pass "release: the ROM lost the $(wc -l < "$work/removed-files.list") ticked files, gained Ωmega.apk and τool"
else
  fail "release: the ROM's entries differ from the expected ones:"; cat "$work/rom.diff"
fi
[ "$(unzip -p "$rom" "system/app/Ωmega.apk" 2>/dev/null)" = "an app of my own" ] &&
  [ "$(unzip -p "$rom" "system/xbin/τool" 2>/dev/null)" = "a tool of my own" ] &&
  pass "release: Ωmega.apk and τool went in whole" ||
  fail "release: Ωmega.apk or τool is not whole in the ROM"

# The undo zip: the template's installer and every removed file, each as it was in the ROM.
undo="$rom"_undo.zip
unzip -Z1 "$undo" 2>/dev/null | grep -v '/$' | sort > "$work/undo.list" || true
grep -v '^META-INF/' "$work/undo.list" > "$work/undo-files.list" || true
if grep -q '^META-INF/com/google/android/update-binary$' "$work/undo.list" &&
   diff -q "$work/removed-files.list" "$work/undo-files.list" >/dev/null; then
  pass "release: the undo zip holds the installer and the removed files"
else
  fail "release: the undo zip holds: $(tr '\n' ' ' < "$work/undo.list")"
fi
unzip -q "$work/original.zip" -d "$work/before"
unzip -q "$undo" -d "$work/undo" 2>/dev/null || true
whole=1
while IFS= read -r file; do
  cmp -s "$work/before/$file" "$work/undo/$file" || { whole=""; fail "release: $file differs in the undo zip"; }
done < "$work/removed-files.list"
[ -n "$whole" ] && pass "release: every removed file is in the undo zip as it was in the ROM"
[ -d "$program/app/undo/files" ] && [ -z "$(ls -A "$program/app/undo/files")" ] &&
  pass "release: the extraction folder is left empty" ||
  fail "release: the extraction folder is not empty"

# A ROM whose path is longer than Windows' old limit of 260 characters, typed into the open
# dialog: Wine's own dialog would crash on it; the run works and writes beside it.
long_path_run() {
  local deep="$work/deep" level pid
  for level in 1 2 3 4 5 6; do deep+="/a folder named long enough to go deep, level $level"; done
  mkdir -p "$deep"
  local long_rom="$deep/a demo rom with a long name.zip"
  cp "$work/original.zip" "$long_rom"
  [ "$(winpath "$long_rom" | wc -c)" -gt 300 ] || { fail "long path: the path is too short"; return; }
  (cd "$work/elsewhere" && exec wine "$program/slimkit.exe") &
  pid=$!
  customize_in_window "$pid" "$(winpath "$long_rom")" "long path" &&
    pass "long path: Customize on a ROM path of $(winpath "$long_rom" | wc -c) characters ended with Finish"
  cmp -s "$work/original.zip" "$long_rom"_BU_0 && pass "long path: the backup is the ROM as it was" ||
    fail "long path: no whole backup"
  unzip -Z1 "$long_rom" 2>/dev/null | sort > "$work/long-after.list" || true
  diff -q "$work/expected.list" "$work/long-after.list" >/dev/null &&
    pass "long path: the ROM lost and gained what the first run's did" ||
    fail "long path: the ROM's entries differ from the first run's"
  unzip -Z1 "$long_rom"_undo.zip 2>/dev/null | grep -v '/$' | grep -v '^META-INF/' | sort |
    diff -q "$work/removed-files.list" - >/dev/null &&
    pass "long path: the undo zip holds the removed files" || fail "long path: no whole undo zip"
}
long_path_run

[ "$failures" -eq 0 ] && echo "the release zip run passed" || echo "$failures failed"
exit $((failures > 0))
