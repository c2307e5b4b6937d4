#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one black-box test of the installed program in an X server and an accessibility bus of
# its own: run_e2e.sh BUILD_FOLDER TEST_NAME. Everything it starts and writes is gone when it
# ends.
set -euo pipefail
build=$1
test=$2
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/slimkit-e2e.XXXXXX")
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/install" >/dev/null

# -displayfd picks a free display and tells us its number once the server listens.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 600); do [ -s "$work/display" ] && break; sleep 0.1; done  # a minute at most
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

export GTK_MODULES=gail:atk-bridge
export NO_AT_BRIDGE=0
# GTK keeps caches until the process ends; leak reports of the toolkit would hide the exit code.
export ASAN_OPTIONS=detect_leaks=0
export SLIMKIT_E2E_WORK=$work
# GTK keeps its list of recently used files under the home folder.
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
dbus-run-session -- /usr/bin/python3 "$here/slimkit_e2e.py" "$test"
