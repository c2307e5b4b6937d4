# SPDX-License-Identifier: GPL-3.0-or-later
# The libFuzzer targets, built with clang, each run briefly from its seed corpus: the INI reader
# and the APK identity reader for 20 seconds each, the JSON reader of app knowledge and the
# transfer list reader (smaller grammars) for 10. A crash or a broken property fails the stage.
set -euo pipefail
build="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSLIMKIT_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs" --target ini_file_fuzz apk_identity_fuzz \
  app_knowledge_fuzz transfer_list_fuzz
# New inputs go to the build folder's corpora; the seeds in the source tree stay as they are.
mkdir -p "$build/fuzz/corpus" "$build/fuzz/corpus-apk" "$build/fuzz/corpus-json" \
  "$build/fuzz/corpus-transfer-list" "$build/fuzz/artifacts"
"$build/fuzz/ini_file_fuzz" -max_total_time=20 -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus" "$top/fuzz/corpus"
"$build/fuzz/apk_identity_fuzz" -max_total_time=20 -max_len=32768 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus-apk" "$top/fuzz/corpus-apk"
"$build/fuzz/app_knowledge_fuzz" -max_total_time=10 -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus-json" "$top/fuzz/corpus-json"
"$build/fuzz/transfer_list_fuzz" -max_total_time=10 -max_len=2048 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz/artifacts/" "$build/fuzz/corpus-transfer-list" \
  "$top/fuzz/corpus-transfer-list"
