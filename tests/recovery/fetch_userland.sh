#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Build step: downloads busybox-static and mksh as .deb files into <folder>/debs (kept there, so
# later builds reuse them) and unpacks them beside, for the simulated recovery's /sbin. The host's
# own busybox and mksh are never touched. When they can't be had, the reason is left in
# <folder>/unavailable and the recovery tests skip with it; the build goes on.
set -u
folder=$1
mkdir -p "$folder/debs"
rm -f "$folder/stamp"

unavailable() {
  echo "$*" >"$folder/unavailable"
  echo "recovery tests will skip: $*" >&2
  exit 0
}

command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null ||
  unavailable "apt-get and dpkg-deb are needed to fetch busybox-static and mksh"
cd "$folder/debs" || exit 1
for package in busybox-static mksh; do
  compgen -G "${package}_*.deb" >/dev/null && continue
  apt-get download -q "$package" >"$folder/download.log" 2>&1 ||
    unavailable "apt-get download $package failed: $(tail -n 1 "$folder/download.log")"
done

for package in busybox-static mksh; do
  debs=("$folder"/debs/"${package}"_*.deb)
  rm -rf "$folder/$package"
  dpkg-deb -x "${debs[-1]}" "$folder/$package" ||
    unavailable "dpkg-deb could not unpack ${debs[-1]}"
done
[ -x "$folder/busybox-static/bin/busybox" ] || unavailable "busybox-static holds no bin/busybox"
compgen -G "$folder/mksh/usr/lib/*-linux-musl/bin/mksh" >/dev/null ||
  compgen -G "$folder/mksh/usr/lib/klibc/bin/mksh" >/dev/null ||
  unavailable "mksh holds no statically linked mksh"
rm -f "$folder/unavailable"
touch "$folder/stamp"
