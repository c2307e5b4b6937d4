# The libFuzzer targets, built with clang, each run from its seed corpus: the INI reader and the
# APK identity reader for about 30 seconds, the small transfer list reader for 10. A crash or a
# broken property fails the stage.
set -euo pipefail
build="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSLIMKIT_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs" --target ini_file_fuzz apk_identity_fuzz transfer_list_fuzz
# New inputs go to the build folder's corpora; the seeds in the source tree stay as they are.
mkdir -p "$build/fuzz/corpus" "$build/fuzz/corpus-apk" "$build/fuzz/corpus-transfer-list" \
  "$build/fuzz/artifacts"
"$build/fuzz/ini_file_fuzz" -max_total_time=30 -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus" "$top/fuzz/corpus"
"$build/fuzz/apk_identity_fuzz" -max_total_time=30 -max_len=32768 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus-apk" "$top/fuzz/corpus-apk"
"$build/fuzz/transfer_list_fuzz" -max_total_time=10 -max_len=2048 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus-transfer-list" \
  "$top/fuzz/corpus-transfer-list"
