#!/usr/bin/env bash
# Builds the settings fuzz target with clang's libFuzzer (ASan + UBSan) and runs it for a fixed
# time, starting from the committed corpus; new finds go to build-fuzz/, not into the tree.
#   scripts/fuzz.sh [seconds]     (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build-fuzz
mkdir -p "$out/corpus-settings"
clang++ -std=c++20 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -I. fuzz/SettingsFuzz.cpp settings/Settings.cpp \
  platform/Platform.cpp platform/StableNameModel.cpp platform/Text.cpp \
  -o "$out/settings_fuzz"
"$out/settings_fuzz" -max_total_time="$seconds" -timeout=5 -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$out/" "$out/corpus-settings" fuzz/corpus/settings
