#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A whole run (backup ticked, undo zip, removal of five apps, nothing to add) on a generated ROM
# zip of about SIZE megabytes, against `7z d` of the same entries alone, alternating, medians:
# on the file system of TMPDIR, where the backup is a second name of the old ROM file (goal: at
# most 1.10), and on a FAT image mounted through FUSE, where it is a copy (the copy's cost shown;
# left out where mkfs.vfat, fusefat or /dev/fuse is missing).
#
#   bench/backup_bench.sh [RUNS] [SIZE]     RUNS of each (default 3), SIZE in MB (default 2000);
#                                           FAT=0 leaves the FAT image out
set -euo pipefail
. "$(dirname "$0")/setup.sh"
runs=${1:-3}
size=${2:-2000}
bench_build customize_bench
driver="$build/customize_bench"

fat="$work/fat"
cleanup() {
  mountpoint -q "$fat" 2>/dev/null && fusermount -u "$fat"
  rm -rf "$work"
}
trap cleanup EXIT

# The ROM: SIZE MB of stored apps of 10 MB each (incompressible, as packed apps are).
src="$work/rom source"
mkdir -p "$src/system/app" "$src/META-INF"
for ((i = 1; i <= size / 10; i++)); do
  head -c 10000000 /dev/urandom >"$src/system/app/App$(printf %04d "$i").apk"
done
echo "# flashed by the recovery" >"$src/META-INF/updater-script"
(cd "$src" && 7z a -tzip -mx=0 -bd -y -r "$work/pristine.zip" '*' >/dev/null)
rm -rf "$src"
echo "ROM zip: $(du -m "$work/pristine.zip" | cut -f1) MB"

program="$work/program folder/"
mkdir -p "$program/app/add" "$program/app/undo/files" "$work/template/META-INF"
echo "#!/sbin/sh" >"$work/template/META-INF/update-binary"
(cd "$work/template" && 7z a -tzip -bd -y -r "$program/app/undo/undo.zip" '*' >/dev/null)
removed=(system/app/App0002.apk system/app/App0010.apk system/app/App0050.apk
         system/app/App0100.apk system/app/App0150.apk)

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# One side by side on the ROM zip in folder $1.
compare() {
  local folder=$1 label=$2 rom="$1/rom.zip"
  fresh() { rm -f "$folder"/rom.zip*; cp "$work/pristine.zip" "$rom"; sync; }
  program_run() { "$driver" "$program" "$rom" "${removed[@]}" >/dev/null; sync; }
  delete_run() { 7z d -bd -y "$rom" "${removed[@]}" >/dev/null; sync; }
  local program_times=() delete_times=()
  # One unmeasured run of each first: whichever writes 2 GB first after the ROM zip was made pays
  # the file system's settling (seconds here), whatever the program does.
  fresh; program_run; fresh; delete_run
  for ((i = 1; i <= runs; i++)); do
    fresh; program_times+=("$(seconds program_run)")
    fresh; delete_times+=("$(seconds delete_run)")
    echo "$label run $i: program ${program_times[-1]} s, 7z d ${delete_times[-1]} s"
  done
  rm -f "$folder"/rom.zip*
  local p d
  p=$(median "${program_times[@]}")
  d=$(median "${delete_times[@]}")
  printf '%s median: program %.3f s, 7z d %.3f s, ratio %.3f\n' "$label" "$p" "$d" \
    "$(awk -v a="$p" -v b="$d" 'BEGIN { print a / b }')"
}

mkdir -p "$work/roms"
compare "$work/roms" "hard links (goal <= 1.10)"

# FAT32 holds files up to 4 GB; the image takes the ROM zip, its backup copy and 7z's new zip.
mkdir -p "$fat"
if [ "${FAT:-1}" != 0 ] && truncate -s "$((size * 4 + 200))M" "$work/fat.img" &&
   mkfs.vfat -F 32 "$work/fat.img" >/dev/null 2>&1 &&
   fusefat -o rw+ "$work/fat.img" "$fat" >/dev/null 2>&1; then
  compare "$fat" "FAT, a copy"
else
  echo "FAT: left out (FAT=0, or no mkfs.vfat, fusefat or /dev/fuse)"
fi
