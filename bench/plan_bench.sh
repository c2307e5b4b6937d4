#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# slimkit-cli plan on a zip64 ROM zip over 4 GiB, beside 7z's own technical listing of it, which
# the plan is made from: written to /dev/null, and read through a pipe as the plan reads it.
# Prints the median of each and the plan's ratio to both (goal: at most 1.2).
#
#   bench/plan_bench.sh [RUNS]     RUNS of each, alternating (default 5)
# Needs about 9 GiB free in TMPDIR while it runs.
set -euo pipefail
. "$(dirname "$0")/setup.sh"
runs=${1:-5}
bench_build slimkit-cli slimkit_definitions

# The ROM: 70 stored apps of 64 MiB (zeros, cheap to make, stored as they are) and 3000 small
# system files, as in a full ROM: 4.4 GiB, so 7z writes it as zip64.
src="$work/rom source"
mkdir -p "$src/system/app" "$src/system/lib" "$src/META-INF"
for i in $(seq -w 1 70); do truncate -s 64M "$src/system/app/App$i.apk"; done
for i in $(seq -w 1 3000); do echo "lib $i" >"$src/system/lib/lib$i.so"; done
echo "# flashed by the recovery" >"$src/META-INF/updater-script"
(cd "$src" && 7z a -tzip -mx=0 -bd -y -r "$work/rom.zip" '*' >/dev/null)
rm -rf "$src"
echo "ROM zip: $(du -m "$work/rom.zip" | cut -f1) MB"

# The program folder: the shipped catalogue, plus one entry naming a quarter of the apps and the
# whole lib folder.
program="$work/program"
mkdir -p "$program/app/add" "$program/app/undo/files"
cp "$build/slimkit-cli" "$program/"
cp -r "$build/app/remove" "$program/app/"
{ printf '[main]\nappname = Bench\nenabled = 1\n[files]\n'
  for i in $(seq -w 1 4 70); do echo "$i = system/app/App$i.apk"; done
  echo "99 = system/lib"; } >"$program/app/remove/bench.ini"
"$program/slimkit-cli" plan "$work/rom.zip" | tail -1

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

piped_listing() { 7z l -slt -- "$work/rom.zip" | cat; }

plan_times=() list_times=() piped_times=()
for ((i = 1; i <= runs; i++)); do
  plan_times+=("$(seconds "$program/slimkit-cli" plan "$work/rom.zip" --json)")
  list_times+=("$(seconds 7z l -slt -- "$work/rom.zip")")
  piped_times+=("$(seconds piped_listing)")
  echo "run $i: plan ${plan_times[-1]} s, 7z l -slt ${list_times[-1]} s, piped ${piped_times[-1]} s"
done

p=$(median "${plan_times[@]}")
l=$(median "${list_times[@]}")
q=$(median "${piped_times[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
printf 'median: plan %.3f s, 7z listing %.3f s (ratio %s), piped %.3f s (ratio %s); goal <= 1.2\n' \
  "$p" "$l" "$(ratio "$p" "$l")" "$q" "$(ratio "$p" "$q")"
