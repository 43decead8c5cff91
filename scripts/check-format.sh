#!/usr/bin/env bash
# Fails when a C++ file of the tree has drifted from .clang-format (Debian's clang-format).
#   scripts/check-format.sh        check;  scripts/check-format.sh --fix   reformat in place
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || scripts/setup.sh
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run -Werror "${files[@]}"
fi
