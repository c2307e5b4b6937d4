#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks how the build packs the undo template:
#   template_test.sh <template sources> <built undo.zip> <cmake> <zip program>
# the built zip holds exactly the two sources; packing a fresh copy of them (other times, other
# modes) gives the same bytes; an installer with CR line ends or a marker that makes recoveries
# run it differently fails the build and leaves no zip.
set -euo pipefail
sources=$1 built=$2 cmake=$3 zip=$4
installer=META-INF/com/google/android/update-binary
script=META-INF/com/google/android/updater-script

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/slimkit-template.XXXXXX")
trap 'rm -rf "$work"' EXIT

pack() {
  "$cmake" -DSOURCE_DIR="$1" -DOUTPUT="$2" -DZIP="$zip" -P "$sources/pack_template.cmake" \
    >"$work/pack.log" 2>&1
}

entries=$(unzip -Z1 "$built")
[ "$entries" = "$installer"$'\n'"$script" ] || fail "unexpected entries: $entries"
cmp -s <(unzip -p "$built" "$installer") "$sources/$installer" || fail "installer differs"
cmp -s <(unzip -p "$built" "$script") "$sources/$script" || fail "updater-script differs"
listing=$(unzip -Z "$built")
[[ $listing == *$'\n'"-rwxr-xr-x "*" $installer"$'\n'* ]] || fail "installer is not 0755: $listing"

# A copy made now, with other modes, must pack to the very same bytes.
mkdir -p "$work/copy/META-INF/com/google/android"
cp "$sources/$installer" "$work/copy/$installer"
cp "$sources/$script" "$work/copy/$script"
chmod 0600 "$work/copy/$installer" "$work/copy/$script"
touch "$work/copy/$installer"
pack "$work/copy" "$work/copy.zip" || fail "packing a copy failed: $(cat "$work/pack.log")"
cmp -s "$work/copy.zip" "$built" || fail "packing a copy gave other bytes than the build"

broken() {
  local what=$1
  rm -f "$work/broken.zip"
  if pack "$work/copy" "$work/broken.zip"; then fail "packed an installer with $what"; fi
  [ ! -e "$work/broken.zip" ] || fail "left a zip behind for an installer with $what"
  grep -q "$2" "$work/pack.log" || fail "no clear message for $what: $(cat "$work/pack.log")"
}

sed 's/$/\r/' "$sources/$installer" >"$work/copy/$installer"
broken "CR line ends" "CR line ends"
for marker in set_perm_ ANDROID_PROPERTY_WORKSPACE; do
  { cat "$sources/$installer"; echo "# $marker"; } >"$work/copy/$installer"
  broken "$marker" "must not contain $marker"
done
sed '1s|.*|#!/system/bin/sh|' "$sources/$installer" >"$work/copy/$installer"
broken "another shell" "must start with #!/sbin/sh"
echo "PASS"
