#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up time of the installed program with 2,000 and 20,000 definition files against a bare
# GTK+ 2 list of as many rows: run.sh BUILD_FOLDER [RUNS]. BUILD_FOLDER is configured with
# -DSLIMKIT_BENCH=ON and built without sanitizers.
set -euo pipefail
build=$1
runs=${2:-21}
work=$(mktemp -d "${TMPDIR:-/tmp}/slimkit-bench.XXXXXX")
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

for count in 2000 20000; do
  prefix="$work/install-$count"
  cmake --install "$build" --prefix "$prefix" >/dev/null
  rm -rf "$prefix/app/remove" && mkdir -p "$prefix/app/remove"
  for ((n = 0; n < count; ++n)); do
    printf '[main]\nappname = App %05d\ndescription = Benchmark entry\nenabled = %d\nwidget = %d\n[files]\n1 = system/app/App%05d.apk\n[widget_files]\n1 = system/app/App%05dWidget.apk\n' \
      "$n" $((n % 2)) $((n % 3 == 0)) "$n" "$n" >"$prefix/app/remove/app$n.ini"
  done
  echo "$count definition files: A = slimkit, B = bare GTK+ 2 list"
  "$build/bench/map_timer" "$runs" "$prefix/slimkit" -- "$build/bench/bare_gtk_list" "$count"
  rm -rf "$prefix"
done
