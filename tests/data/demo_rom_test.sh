#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the demo ROM twice and checks it with unzip: the two builds are identical, it is laid
# out like a CWM ROM zip, it holds every file that the definition files of its catalogue apps
# name, it keeps apps that no definition file removes, and each app is a real APK with its own
# package and label (read with aapt).
#
#   demo_rom_test.sh MAKE_DEMO_ROM DEFINITION_FOLDER
set -eu
export LC_ALL=C
make_demo_rom=$1
definitions=$2

# Definition files whose every system/app/ path the demo ROM holds.
complete_entries="apollo basicdreams browser calculator calendar cellbroadcastreceiver cmupdater
  cmwallpapers deskclock development dspmanager email galaxy4 holospiral livewallpapers
  livewallpaperspicker lockclock magicsmoke mms music musicfx noisefield phasebeam phototable
  picotts quicksearchbox soundrecorder term torch videoeditor visualizationwallpapers voicedialer"
# Definition files that list the packages of several Android versions, of which the demo ROM,
# an Android 4.3 ROM, holds one: at least one of their paths must be there.
partial_entries="exchange filemanager gallery trebuchet"
# Apps that no definition file may name: without them the slimmed ROM would not boot or phone.
kept_files="system/app/Settings.apk system/app/SystemUI.apk system/app/Phone.apk
  system/app/SettingsProvider.apk system/framework/framework-res.apk"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 1' HUP INT TERM

# The system/app/ paths of the [files] and [widget_files] groups of definition files, each as
# "path<TAB>file name".
listed_paths() {
  awk '
    { sub(/\r$/, "") }
    /^[ \t]*\[/ { group = $0; sub(/^[ \t]*\[/, "", group); sub(/\].*/, "", group); group = tolower(group); next }
    /^[ \t]*;/ { next }
    (group == "files" || group == "widget_files") && index($0, "=") {
      value = substr($0, index($0, "=") + 1)
      sub(/^[ \t]+/, "", value); sub(/[ \t]+$/, "", value)
      if (value ~ /^system\/app\//) print value "\t" FILENAME
    }' "$@"
}

# Two builds: one to a folder with a blank in its name, the other two seconds later (zip keeps
# times to two seconds) from another working folder with a strict umask and a relative path, so
# that any timestamp, file mode or order that leaks into the zip shows.
mkdir "$tmp/first build" "$tmp/second"
sh "$make_demo_rom" "$tmp/first build/demo-rom.zip" || fail "make-demo-rom failed"
sleep 2
(cd "$tmp/second" && umask 077 && sh "$make_demo_rom" demo-rom.zip) || fail "make-demo-rom failed from a relative path"
rom=$tmp/first\ build/demo-rom.zip
[ -f "$rom" ] || { fail "no zip at $rom"; exit 1; }
cmp -s "$rom" "$tmp/second/demo-rom.zip" || fail "two builds of the demo ROM differ"

# A second run replaces the zip instead of adding to it.
cp "$rom" "$tmp/before.zip"
sh "$make_demo_rom" "$rom" || fail "make-demo-rom failed over an existing zip"
cmp -s "$rom" "$tmp/before.zip" || fail "building over an existing zip changed the result"

unzip -Z1 "$rom" | sort >"$tmp/entries" || fail "unzip cannot list the demo ROM"
has() { grep -qxF "$1" "$tmp/entries"; }

for path in META-INF/com/google/android/updater-script META-INF/com/google/android/update-binary \
    system/build.prop system/etc/hosts system/etc/apns-conf.xml boot.img; do
  has "$path" || fail "the demo ROM lacks $path"
done
grep -q '^system/bin/[^/.]*$' "$tmp/entries" || fail "the demo ROM has no file without extension in system/bin/"
unzip -p "$rom" META-INF/com/google/android/updater-script >"$tmp/updater-script"
grep -qF 'package_extract_dir("system", "/system");' "$tmp/updater-script" \
  || fail "updater-script does not extract system/"
unzip -p "$rom" system/build.prop >"$tmp/build.prop"
grep -qx 'ro.build.version.sdk=1[0-9]' "$tmp/build.prop" || fail "build.prop names no Android 2.3 to 4.4 SDK level"

# "path<TAB>definition file" for the entries of each kind, then what the zip lacks of them.
complete_files= partial_files=
for entry in $complete_entries; do
  if [ -f "$definitions/$entry.ini" ]; then complete_files="$complete_files $entry.ini"; else fail "no definition file $entry.ini"; fi
done
for entry in $partial_entries; do
  if [ -f "$definitions/$entry.ini" ]; then partial_files="$partial_files $entry.ini"; else fail "no definition file $entry.ini"; fi
done
(cd "$definitions" && listed_paths $complete_files) >"$tmp/complete"
(cd "$definitions" && listed_paths $partial_files) >"$tmp/partial"
awk -F '\t' -v complete_files="$complete_files" '
  FILENAME == ARGV[1] { have[$0] = 1; next }
  FILENAME == ARGV[2] { named[$2] = 1; if (!($1 in have)) print "FAIL: the demo ROM lacks " $1 " of " $2; next }
  { if ($1 in have) found[$2] = 1; else if (!($2 in found)) found[$2] = 0 }
  END {
    for (file in found) if (!found[file]) print "FAIL: the demo ROM holds none of the paths of " file
    n = split(complete_files, files, " ")
    for (i = 1; i <= n; i++) if (!(files[i] in named)) print "FAIL: " files[i] " names no system/app/ path"
  }' "$tmp/entries" "$tmp/complete" "$tmp/partial" >"$tmp/missing"
if [ -s "$tmp/missing" ]; then
  cat "$tmp/missing" >&2
  failures=$((failures + $(wc -l <"$tmp/missing")))
fi

listed_paths "$definitions"/*.ini | cut -f 1 | sort -u >"$tmp/all-listed"
for path in $kept_files; do
  has "$path" || fail "the demo ROM lacks $path"
  if grep -qxF "$path" "$tmp/all-listed"; then fail "a definition file removes $path"; fi
done

# Every package is a valid zip holding a manifest, and, the ROM being odexed, has its .odex.
grep '^system/app/.*\.apk$' "$tmp/entries" >"$tmp/apks"
mkdir "$tmp/x"
(cd "$tmp/x" && unzip -q "$rom" 'system/app/*.apk' && unzip -l 'system/app/*.apk' 2>&1) \
  | awk '/^Archive:/ { archive = $2 } $NF == "AndroidManifest.xml" { print archive }' \
  | sort >"$tmp/with-manifest"
sort "$tmp/apks" | comm -23 - "$tmp/with-manifest" >"$tmp/without-manifest"
while read -r apk; do fail "$apk is not a zip holding AndroidManifest.xml"; done <"$tmp/without-manifest"
sed 's/\.apk$/.odex/' "$tmp/apks" | sort | comm -23 - "$tmp/entries" >"$tmp/without-odex"
while read -r odex; do fail "the demo ROM lacks $odex beside its .apk"; done <"$tmp/without-odex"

# Every app is a real APK: aapt reads a package of its own and a label from it.
while read -r apk; do
  badging=$(aapt dump badging "$tmp/x/$apk" 2>/dev/null) || { fail "aapt can't read $apk"; continue; }
  package=$(printf '%s\n' "$badging" | sed -n "s/^package: name='\([^']*\)'.*/\1/p")
  label=$(printf '%s\n' "$badging" | sed -n "s/^application-label:'\(.*\)'$/\1/p")
  [ -n "$label" ] || fail "$apk has no label"
  case $package in
    '' | org.example.*) fail "$apk has no package of its own" ;;
    *) echo "$package" >>"$tmp/packages" ;;
  esac
done <"$tmp/apks"
for package in $(sort "$tmp/packages" | uniq -d); do fail "two apps of the demo ROM are $package"; done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "demo ROM: $(wc -l <"$tmp/entries") entries, all checks passed"
