#!/usr/bin/env bash
# Builds the settings fuzz target (CMake preset "fuzz": clang's libFuzzer with ASan + UBSan) and
# runs it for a fixed time, starting from the committed corpus; new finds go to build-fuzz/, not
# into the tree.
#   scripts/fuzz.sh [seconds]     (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build-fuzz
# A build folder of the hand-compiled days holds no CMake cache: start it afresh.
[ -d "$out" ] && [ ! -f "$out/CMakeCache.txt" ] && rm -rf "$out"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p "$out/corpus-settings"
"$out/bin/settings_fuzz" -max_total_time="$seconds" -timeout=5 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus-settings" fuzz/corpus/settings
