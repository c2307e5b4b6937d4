#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every app of a ROM zip of 300 stored APKs (about 1.5 GB) found and read, beside 7z's technical
# listing of the same ROM, both with a warm cache. Prints the median of each: the program's
# reading of the apps (finding them in the listing and reading each APK's identity inside the
# ROM zip; goal: under 1 s, and under 3x the listing), and with the listing it starts from.
#
#   bench/apps_bench.sh [RUNS]     RUNS of each, alternating (default 5)
# Needs about 1.6 GB free in TMPDIR while it runs.
set -euo pipefail
. "$(dirname "$0")/setup.sh"
runs=${1:-5}
bench_build apps_bench
driver="$build/bench/apps_bench"

# The ROM: 300 real APKs made by aapt, each padded to about 5 MB by a stored asset between its
# manifest and its resource table, as real APKs keep their code and assets there; a third flat
# with an odex in oat/, a third in folders of their own with a library, a third in data/app;
# and 3000 small system files.
python3 - "$work" <<'PYTHON'
import os, subprocess, sys, zipfile
work = sys.argv[1]
framework = "/usr/share/android-framework-res/framework-res.apk"
padding = b"\0" * (5 << 20)
with zipfile.ZipFile(os.path.join(work, "rom.zip"), "w") as rom:
    for number in range(300):
        source = os.path.join(work, "src")
        os.makedirs(os.path.join(source, "res", "values"), exist_ok=True)
        with open(os.path.join(source, "AndroidManifest.xml"), "w") as file:
            file.write('<manifest xmlns:android="http://schemas.android.com/apk/res/android"'
                       f' package="org.bench.app{number}" android:versionCode="{number + 1}"'
                       ' android:versionName="@string/version">'
                       '<application android:label="@string/name"/></manifest>')
        with open(os.path.join(source, "res", "values", "strings.xml"), "w") as file:
            file.write(f'<resources><string name="name">Bench App {number}</string>'
                       f'<string name="version">1.{number}</string></resources>')
        apk = os.path.join(work, "app.apk")
        subprocess.run(["aapt", "package", "-f", "-M", os.path.join(source, "AndroidManifest.xml"),
                        "-S", os.path.join(source, "res"), "-I", framework, "-F", apk],
                       check=True, capture_output=True)
        padded = os.path.join(work, "padded.apk")
        with zipfile.ZipFile(apk) as inner, zipfile.ZipFile(padded, "w") as out:
            out.writestr(inner.getinfo("AndroidManifest.xml"), inner.read("AndroidManifest.xml"))
            out.writestr("assets/payload.bin", padding, compress_type=zipfile.ZIP_STORED)
            out.writestr(inner.getinfo("resources.arsc"), inner.read("resources.arsc"))
        name = f"App{number:03d}"
        if number % 3 == 0:
            rom.write(padded, f"system/app/{name}.apk")
            rom.writestr(f"system/app/oat/arm64/{name}.odex", b"odex" * 1000)
        elif number % 3 == 1:
            rom.write(padded, f"system/priv-app/{name}/{name}.apk")
            rom.writestr(f"system/priv-app/{name}/lib/arm64/lib{name}.so", b"elf" * 1000)
        else:
            rom.write(padded, f"data/app/org.bench.app{number}-1/base.apk")
    for number in range(3000):
        rom.writestr(f"system/lib/lib{number}.so", f"library {number}\n")
    rom.writestr("META-INF/com/google/android/updater-script", "# flashed by the recovery\n")
PYTHON
echo "ROM zip: $(du -m "$work/rom.zip" | cut -f1) MB"

# Warm the cache, and check that every app is found and read.
"$driver" "$work/rom.zip" 300 >/dev/null
7z l -ba -slt "$work/rom.zip" >/dev/null

listing=() apps=() whole=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  7z l -ba -slt "$work/rom.zip" >/dev/null
  listing+=($(( ($(date +%s%N) - start) / 1000000 )))
  start=$(date +%s%N)
  read -r _ find read < <("$driver" "$work/rom.zip" 300)
  whole+=($(( ($(date +%s%N) - start) / 1000000 )))
  apps+=("$(awk -v f="$find" -v r="$read" 'BEGIN { printf "%d", f + r }')")
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
m_listing=$(median "${listing[@]}") m_apps=$(median "${apps[@]}") m_whole=$(median "${whole[@]}")
echo "7z l -ba -slt:                        ${m_listing} ms"
echo "300 apps found and read:              ${m_apps} ms"
echo "the same with its own 7z listing:     ${m_whole} ms"
awk -v a="$m_apps" -v l="$m_listing" -v w="$m_whole" 'BEGIN {
  printf "apps / listing: %.2f (goal: under 3); with the listing: %.2f\n", a / l, w / l }'
