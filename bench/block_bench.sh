#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A whole run of slimkit-cli on a block-based ROM zip (a brotli system image of about 1.5 GB, ten
# apps removed), beside the same work done by the stock tools in a script: brotli -d, the image
# rebuilt from the transfer list, debugfs rm, the blocks in use written out with a new list,
# brotli -q 6 and 7z putting the two entries into the zip. Prints each time and their ratio
# (goal: at most 1.2).
#
#   bench/block_bench.sh [IMAGE_MIB]     the image's size (default 1536)
set -euo pipefail
. "$(dirname "$0")/setup.sh"
mib=${1:-1536}
bench_build slimkit-cli
for tool in brotli mke2fs debugfs dumpe2fs 7z python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps)" >&2; exit 1; }
done

# The system partition: packed apps (incompressible) and compressible libraries, about 75% full.
tree="$work/system"
apps=$((mib * 2 / 5 / 8))
mkdir -p "$tree/app" "$tree/lib"
for i in $(seq -w 1 "$apps"); do
  mkdir -p "$tree/app/App$i"
  head -c 8000000 /dev/urandom >"$tree/app/App$i/App$i.apk"
done
for i in $(seq -w 1 $((mib * 7 / 20 / 4))); do head -c 3000000 /dev/urandom | base64 >"$tree/lib/lib$i.so"; done
echo "ro.build.id=BENCH" >"$tree/build.prop"
mke2fs -q -F -t ext4 -b 4096 -d "$tree" "$work/system.img" "${mib}M"
rm -rf "$tree"

# The ROM zip, as a ROM's build writes a full image: every block that isn't zero, quality 6.
rom="$work/rom"
mkdir -p "$rom/META-INF/com/google/android"
echo 'block_image_update("/dev/block/by-name/system", package_extract_file("system.transfer.list"), "system.new.dat.br", "system.patch.dat");' \
  >"$rom/META-INF/com/google/android/updater-script"
python3 - "$work/system.img" "$rom" <<'PY'
import sys
image = open(sys.argv[1], "rb")
data = open(sys.argv[2] + "/system.new.dat", "wb")
zero = bytes(4096)
used, blocks = [], 0
while True:
    block = image.read(4096)
    if not block:
        break
    if block != zero:
        if used and used[-1][1] == blocks:
            used[-1][1] += 1
        else:
            used.append([blocks, blocks + 1])
        data.write(block)
    blocks += 1
count = sum(end - first for first, end in used)
ranges = ",".join("%d,%d" % (first, end) for first, end in used)
open(sys.argv[2] + "/system.transfer.list", "w").write(
    "4\n%d\n0\n0\nerase 2,0,%d\nnew %d,%s\n" % (count, blocks, 2 * len(used), ranges))
PY
brotli -q 6 -w 24 --rm -o "$rom/system.new.dat.br" "$rom/system.new.dat"
(cd "$rom" && 7z a -tzip -mx0 -bd -y -r "$work/pristine.zip" '*' >/dev/null)
rm -rf "$rom" "$work/system.img"
echo "ROM zip: $(du -m "$work/pristine.zip" | cut -f1) MB, image ${mib} MiB"

removed=()
for i in $(seq -w 1 10); do removed+=("system/app/App$i"); done

# The program: a plan and run with the backup (a second name of the ROM file) and no adding.
program="$work/program"
mkdir -p "$program/app/remove" "$program/app/add"
cp "$build/slimkit-cli" "$program/"
{ printf '[main]\nappname = Bench\n[files]\n'; for i in "${!removed[@]}"; do echo "$i = ${removed[$i]}"; done; } \
  >"$program/app/remove/bench.ini"
cp "$work/pristine.zip" "$work/program.zip"
start=$(date +%s.%N)
"$program/slimkit-cli" customize "$work/program.zip" --app Bench --no-add --quiet >/dev/null
program_time=$(echo "$(date +%s.%N) - $start" | bc)

# The stock tools, the same work.
stock="$work/stock"
mkdir -p "$stock/out"
cp "$work/pristine.zip" "$work/stock.zip"
start=$(date +%s.%N)
(
  cd "$stock"
  unzip -p "$work/stock.zip" system.transfer.list >system.transfer.list
  unzip -p "$work/stock.zip" system.new.dat.br | brotli -d >new.dat
  python3 - <<'PY'
lines = open("system.transfer.list").read().split("\n")
image = open("system.img", "wb")
data = open("new.dat", "rb")
size = 0
for line in filter(None, lines[4:]):
    command, ranges = line.split(" ")
    numbers = [int(n) for n in ranges.split(",")][1:]
    for first, end in zip(numbers[::2], numbers[1::2]):
        size = max(size, end)
        if command == "new":
            image.seek(first * 4096)
            image.write(data.read((end - first) * 4096))
image.truncate(size * 4096)
PY
  rm new.dat
  for path in "${removed[@]}"; do
    dir=${path#system}
    echo "rm $dir/$(basename "$dir").apk"
    echo "rmdir $dir"
  done >commands
  debugfs -w -f commands system.img >/dev/null 2>&1
  dumpe2fs system.img 2>/dev/null >dumpe2fs.txt
  python3 - <<'PY'
import re
text = open("dumpe2fs.txt").read()
blocks = int(re.search(r"^Block count:\s+(\d+)", text, re.M).group(1))
free = bytearray(blocks)
for line in re.findall(r"^\s+Free blocks: (.*)$", text, re.M):
    for part in filter(None, (p.strip() for p in line.split(","))):
        first, _, last = part.partition("-")
        last = last or first
        free[int(first):int(last) + 1] = b"\1" * (int(last) - int(first) + 1)
image = open("system.img", "rb")
data = open("out/system.new.dat", "wb")
used, unused = [], []
for block in range(blocks):
    ranges = unused if free[block] else used
    if ranges and ranges[-1][1] == block:
        ranges[-1][1] += 1
    else:
        ranges.append([block, block + 1])
for first, end in used:
    image.seek(first * 4096)
    data.write(image.read((end - first) * 4096))
text = lambda r: "%d,%s" % (2 * len(r), ",".join("%d,%d" % (a, b) for a, b in r))
count = sum(b - a for a, b in used)
open("out/system.transfer.list", "w").write(
    "4\n%d\n0\n0\nerase %s\nnew %s\n" % (count, text(unused), text(used)))
PY
  brotli -q 6 -w 24 --rm -o out/system.new.dat.br out/system.new.dat
  cd out && 7z a -tzip -mx0 -bd -y "$work/stock.zip" system.new.dat.br system.transfer.list >/dev/null
)
stock_time=$(echo "$(date +%s.%N) - $start" | bc)

for zip in program stock; do
  echo "$zip: new data $(unzip -Z -l "$work/$zip.zip" system.new.dat.br | awk 'NR==1{print $4}') bytes"
done
printf 'slimkit-cli: %.1f s\nstock tools: %.1f s\nratio: %.2f (goal: at most 1.2)\n' \
  "$program_time" "$stock_time" "$(echo "$program_time / $stock_time" | bc -l)"
