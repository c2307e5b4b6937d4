# The libFuzzer target of the INI reader, built with clang, run for about 30 seconds from the
# seed corpus. A crash or a broken property fails the stage.
set -euo pipefail
build="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSLIMKIT_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs" --target ini_file_fuzz
# New inputs go to the build folder's corpus; the seeds in the source tree stay as they are.
mkdir -p "$build/fuzz/corpus" "$build/fuzz/artifacts"
"$build/fuzz/ini_file_fuzz" -max_total_time=30 -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus" "$top/fuzz/corpus"
