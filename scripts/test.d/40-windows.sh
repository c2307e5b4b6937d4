# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build: cross-built with MinGW-w64, its tests run under Wine in Xvfb.
set -euo pipefail
build="$top/build-win"
"$top/scripts/build-windows-deps" "$build"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Debug -DSLIMKIT_TESTS=ON >/dev/null
cmake --build "$build" -j"$jobs"
"$top/scripts/wine-session" "$build" \
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300
