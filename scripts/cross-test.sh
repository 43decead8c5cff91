#!/usr/bin/env bash
# Cross-builds the platform layer, core and settings for 64-bit Windows with mingw-w64 and runs
# their test programs under Wine, headless. Installs what is missing first (through sudo when
# not root). Everything lands in build-win32/, the Wine prefix too.
#
#   scripts/cross-test.sh            build and run every test program
#   scripts/cross-test.sh -R core    only the programs whose name matches "core"
set -euo pipefail

filter=""
if [ "${1:-}" = "-R" ] && [ -n "${2:-}" ]; then
  filter="$2"
fi

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build-win32"

packages=(cmake make libgtest-dev g++-mingw-w64-x86-64-posix wine wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
  -DTONWRIGHT_BUILD_GUI=OFF -DTONWRIGHT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j2

# Wine without a display: no window ever opens, a console of its own included.
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install .NET or a browser engine
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

logs="$build_dir/test-logs"
mkdir -p "$logs"
passed=0
failed=0
skipped=0
broken=()
ran=0
for exe in "$build_dir"/bin/test_*.exe; do
  [ -e "$exe" ] || continue
  name="$(basename "$exe" .exe)"
  if [ -n "$filter" ] && [[ "$name" != *"$filter"* ]]; then
    continue
  fi
  ran=$((ran + 1))
  log="$logs/$name.log"
  status=0
  # The programs write Windows line ends.
  (cd "$build_dir/bin" && timeout 300 wine "$exe" 2>&1 | tr -d '\r' >"$log") || status=$?
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -1)
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:.*/\1/p' "$log" | tail -1)
  s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:.*/\1/p' "$log" | tail -1)
  p=${p:-0} f=${f:-0} s=${s:-0}
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
    f=1 # crashed or timed out before gtest could count
  fi
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
  printf '%-16s %4d passed, %d failed, %d skipped\n' "$name" "$p" "$f" "$s"
  if [ "$status" -ne 0 ]; then
    broken+=("$name")
    # gtest's failure reports, the names of the failed tests, and Wine's own crash reports.
    {
      grep -A5 -E ': Failure$|^wine: (Unhandled|could not|cannot)' "$log" | head -60
      grep -E '^\[  FAILED  \] [A-Za-z].*\)$' "$log"
    } | awk '$0 != "--" && !seen[$0]++' || true
    echo "(full output: $log)"
  fi
  # Why a test was skipped: the line after gtest's "Skipped".
  grep -A1 ': Skipped$' "$log" | grep -v -e ': Skipped$' -e '^--$' | sed 's/^/  skipped: /' || true
done
wineserver -k 2>/dev/null || true

if [ "$ran" -eq 0 ]; then
  echo "no test program found in $build_dir/bin"
  exit 1
fi
echo "Windows build under Wine: $ran programs"
echo "$passed passed, $failed failed, $skipped skipped"
[ ${#broken[@]} -eq 0 ]
