#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A whole customize (backup, undo zip, removal of five apps, adding three files) on a generated
# ROM zip of about 300 MB, against the same 7z commands and the same copy run straight from the
# shell. Prints the median of each and their ratio (goal: at most 1.03).
#
#   bench/customize_bench.sh [RUNS]     RUNS of each, alternating (default 5)
#
# On a disk, the kernel's writeback of the two 300 MB rewrites stalls either side now and then by
# a third of a second, far more than the difference measured; TMPDIR=/dev/shm runs both in memory
# and shows the program's own cost. What the program adds to the shell's 7z commands is its
# checks: 7z lists the ROM zip before the run (while the template is listed beside it), the undo
# zip before the removal, and the ROM zip once after the run, about 6 ms each.
#
# Why the removal and the adding stay two rewrites of the ROM zip: one `7z u` can do both
# (-up1q0r2x2y2z2w2 run in the add folder, with the names to remove and the files to add on one
# -spd list: a name 7z finds in the zip but not on disk is dropped, a file on disk is added or
# replaces its entry, everything else is kept), but 7z looks every listed name up on disk, and
# each name to remove is then a scan warning ("errno=2 : No such file or directory") on its error
# stream with exit code 1. That is exactly how it reports an add file it could not read, and the
# runner fails a step on the first error line and on any exit code but 0: one pass would leave a
# failed adding indistinguishable from a good one unless 7z's warnings were matched name by name.
set -euo pipefail
. "$(dirname "$0")/setup.sh"
runs=${1:-5}
bench_build customize_bench
driver="$build/customize_bench"

# The ROM: about 250 MB of packed apps (incompressible) and 50 MB of compressible system files,
# deflated as a real ROM.
src="$work/rom source"
mkdir -p "$src/system/app" "$src/data/app" "$src/system/lib" "$src/system/bin" "$src/META-INF"
for i in $(seq -w 1 200); do head -c 1000000 /dev/urandom >"$src/system/app/App$i.apk"; done
for i in $(seq -w 1 50); do head -c 1000000 /dev/urandom >"$src/data/app/Data$i.apk"; done
for i in $(seq -w 1 50); do head -c 750000 /dev/urandom | base64 >"$src/system/lib/lib$i.so"; done
for i in $(seq -w 1 20); do head -c 20000 /dev/urandom | base64 >"$src/system/bin/tool$i"; done
echo "# flashed by the recovery" >"$src/META-INF/updater-script"
(cd "$src" && 7z a -tzip -mx=5 -bd -y -r "$work/pristine.zip" '*' >/dev/null)
rm -rf "$src"
echo "ROM zip: $(du -m "$work/pristine.zip" | cut -f1) MB"

program="$work/program folder/"
mkdir -p "$program/app/add/system/app" "$program/app/add/data/app" "$program/app/add/system/xbin" \
         "$program/app/undo/files" "$work/template/META-INF"
head -c 3000000 /dev/urandom >"$program/app/add/system/app/Mine.apk"
head -c 2000000 /dev/urandom >"$program/app/add/data/app/Game.apk"
head -c 200000 /dev/urandom >"$program/app/add/system/xbin/mytool"
echo "#!/sbin/sh" >"$work/template/META-INF/update-binary"
(cd "$work/template" && 7z a -tzip -bd -y -r "$program/app/undo/undo.zip" '*' >/dev/null)

removed=(system/app/App007.apk system/app/App042.apk system/app/App113.apk
         data/app/Data09.apk system/bin/tool05)
rom="$work/roms/rom.zip"

fresh_rom() {
  rm -rf "$work/roms" && mkdir -p "$work/roms"
  cp "$work/pristine.zip" "$rom"
  sync
}

program_run() {
  "$driver" "$program" "$rom" "${removed[@]}" >/dev/null
}

# What the program does, straight from the shell: the backup a second name of the ROM file,
# which 7z then replaces; the apps stored in the undo zip, the other files deflated fast.
shell_run() {
  local files="$program/app/undo/files/"
  ln "$rom" "${rom}_BU_0"
  7z x -bd -y -o"$files" "$rom" "${removed[@]}" >/dev/null
  cp "$program/app/undo/undo.zip" "${rom}_undo.zip" && sync "${rom}_undo.zip"
  (cd "$files" && 7z a -bd -y -mx=0 "${rom}_undo.zip" "${removed[@]:0:4}" >/dev/null &&
     7z a -bd -y -mx=1 "${rom}_undo.zip" "${removed[4]}" >/dev/null)
  rm -rf "$files" && mkdir -m 700 "$files"
  7z d -bd -y "$rom" "${removed[@]}" >/dev/null
  (cd "$program/app/add/" && 7z a -bd -y -r "$rom" '*' >/dev/null)
}

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

program_times=() shell_times=()
for ((i = 1; i <= runs; i++)); do
  fresh_rom; program_times+=("$(seconds program_run)")
  fresh_rom; shell_times+=("$(seconds shell_run)")
  echo "run $i: program ${program_times[-1]} s, shell ${shell_times[-1]} s"
done

p=$(median "${program_times[@]}")
s=$(median "${shell_times[@]}")
printf 'median: program %.3f s, shell %.3f s, ratio %.3f (goal <= 1.03)\n' "$p" "$s" "$(awk -v a="$p" -v b="$s" 'BEGIN { print a / b }')"
