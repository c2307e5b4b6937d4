# SPDX-License-Identifier: GPL-3.0-or-later
# The Linux build's tests, with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
build="$top/build-test"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DSLIMKIT_TESTS=ON -DSLIMKIT_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"
