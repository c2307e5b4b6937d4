# SPDX-License-Identifier: GPL-3.0-or-later
# What every benchmark script starts with, sourced after `set -euo pipefail`: `top`, the release
# build folder `build` (build-bench), `bench_build TARGET...` that builds what the script runs,
# and `work`, a fresh temporary folder removed when the script ends.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$top/build-bench"
bench_build() {
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSLIMKIT_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target "$@" >/dev/null
}
work=$(mktemp -d "${TMPDIR:-/tmp}/slimkit-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
