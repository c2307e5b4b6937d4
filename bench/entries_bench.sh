#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# slimkit-cli customize --undo-zip on ROM zips of 17,500, 35,000 and 70,000 small entries, half of
# them removed: the program's own CPU time (its whole CPU time less that of the 7z it starts),
# which must stay under 1 s at 70,000 entries and grow linearly with the entries.
#
#   bench/entries_bench.sh [RUNS]     RUNS of each size (default 3); prints the median
set -euo pipefail
. "$(dirname "$0")/setup.sh"
runs=${1:-3}
bench_build slimkit-cli slimkit_undo_template

# 7z as the program finds it on PATH, timed: each run appends "user system" seconds to a file.
mkdir -p "$work/bin"
cat >"$work/bin/7z" <<WRAPPER
#!/bin/sh
exec /usr/bin/time -a -o "$work/7z-times" -f '%U %S' $(command -v 7z) "\$@"
WRAPPER
chmod +x "$work/bin/7z"

program="$work/program"
mkdir -p "$program/app/add" "$program/app/undo/files" "$program/app/remove"
cp "$build/slimkit-cli" "$program/"
cp -r "$build/app/undo/undo.zip" "$program/app/undo/"
printf '[main]\nappname = Bench\n[files]\n1 = system/app\n' >"$program/app/remove/bench.ini"

for entries in 17500 35000 70000; do
  # Half the entries in the removed folder, half kept; written straight as a stored zip.
  python3 - "$work/pristine.zip" "$entries" <<'PY'
import sys, zipfile
path, entries = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as rom:
    for i in range(entries // 2):
        rom.writestr(f"system/app/App{i // 8}/file{i}.bin", f"app {i}")
        rom.writestr(f"system/lib/lib{i // 8}/file{i}.so", f"lib {i}")
PY
  own=()
  for _ in $(seq "$runs"); do
    cp "$work/pristine.zip" "$work/rom.zip"
    rm -f "$work/rom.zip_undo"*.zip "$work/7z-times"
    total=$( { PATH="$work/bin:$PATH" /usr/bin/time -f '%U %S' "$program/slimkit-cli" customize \
      "$work/rom.zip" --undo-zip --no-backup --no-add --app Bench >/dev/null; } 2>&1 | tail -1)
    own+=("$(awk -v total="$total" '{ s += $1 + $2 } END { split(total, t, " ");
      printf "%.3f", t[1] + t[2] - s }' "$work/7z-times")")
  done
  median=$(printf '%s\n' "${own[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  echo "$entries entries: the program's own CPU ${median} s (runs: ${own[*]})"
done
