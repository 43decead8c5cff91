#!/usr/bin/env bash
# Cross-builds the platform layer, core and settings for 64-bit Windows with mingw-w64 and runs
# their test programs under Wine, headless. Where scripts/cross-qt.sh has built the Windows Qt,
# also tonwright.exe and the window tests, which run under Wine on a virtual display (Xvfb),
# and then tonwright.exe itself as a user meets it (tests/win32/wine_user_run.sh). Installs
# what is missing first (through sudo when not root). Everything lands in build-win32/, the
# Wine prefix too.
#
#   scripts/cross-test.sh                      build and run every test program
#   scripts/cross-test.sh -R core              only the programs whose name matches "core"
#                                              ("tonwright": only the user's run)
#   scripts/cross-test.sh --screenshot FILE    the user's run saves the main window there
#                                              (default: build-win32/test-logs/)
set -euo pipefail

filter=""
screenshot=""
while [ $# -gt 0 ]; do
  case "$1" in
  -R) filter="${2:?-R needs a name}" && shift 2 ;;
  --screenshot) screenshot="$(realpath -m "${2:?--screenshot needs a file}")" && shift 2 ;;
  *) echo "usage: scripts/cross-test.sh [-R NAME] [--screenshot FILE]" >&2 && exit 2 ;;
  esac
done

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build-win32"
# The test programs that open windows: they run on the virtual display.
window_tests=(test_ui test_dialogs test_setup_dialog)

# The Windows Qt is built once, by hand (over an hour on 2 cores), never here: CI keeps its time limit.
qt_dir="$("$source_dir/scripts/cross-qt.sh" --path 2>/dev/null || true)"
gui=OFF
if [ -n "$qt_dir" ] && [ -f "$qt_dir/.complete" ]; then
  gui=ON
else
  echo "No Windows Qt (scripts/cross-qt.sh builds it): tonwright.exe and the window tests are left out"
fi

packages=(cmake make libgtest-dev g++-mingw-w64-x86-64-posix wine wine64)
[ "$gui" = ON ] && packages+=(xvfb xdotool imagemagick)
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

toolchain="$source_dir/cmake/mingw-w64-x86_64.cmake"
configure=(-DTONWRIGHT_BUILD_GUI=OFF)
if [ "$gui" = ON ]; then
  # Qt's own toolchain file finds the Windows Qt and the host's tools, then ours sets the rest.
  configure=(-DTONWRIGHT_BUILD_GUI=ON -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain")
  toolchain="$qt_dir/lib/cmake/Qt6/qt.toolchain.cmake"
fi
# A toolchain is only taken by a fresh configuration.
if ! grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain" "$build_dir/CMakeCache.txt" 2>/dev/null; then
  rm -rf "$build_dir/CMakeCache.txt" "$build_dir/CMakeFiles"
fi
# Eight files at a time as one, as ./test builds: the Windows headers are read once per eight.
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${configure[@]}" \
  -DTONWRIGHT_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8 >/dev/null
cmake --build "$build_dir" -j2

# Wine without a display: no window ever opens, a console of its own included.
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install .NET or a browser engine
# Wine reads Unix file names and arguments in the locale's character set: UTF-8, as on a desktop
# (CI may start with no locale at all, and "café.mp3" would then be four Latin-1 characters more).
export LC_ALL=C.UTF-8
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

# Runs one test program under Wine, counts what gtest says and shows why what failed failed.
run_program() {
  local exe="$1" name log status p f s
  name="$(basename "$exe" .exe)"
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
  printf '%-18s %4d passed, %d failed, %d skipped\n' "$name" "$p" "$f" "$s"
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
}

is_window_test() {
  local name="$1" w
  for w in "${window_tests[@]}"; do
    [ "$name" = "$w" ] && return 0
  done
  return 1
}

# A virtual display of our own, on the first free number; Wine's windows and the consoles that
# Decode starts open there.
xvfb_pid=""
start_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do
    n=$((n + 1))
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
}
stop_display() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=""
}
trap stop_display EXIT

for exe in "$build_dir"/bin/test_*.exe; do
  [ -e "$exe" ] || continue
  name="$(basename "$exe" .exe)"
  if [ -n "$filter" ] && [[ "$name" != *"$filter"* ]]; then
    continue
  fi
  is_window_test "$name" || run_program "$exe"
done
wineserver -k 2>/dev/null || true

if [ "$gui" = ON ]; then
  # The windows on Windows' own window platform, which needs a display: Wine's on Xvfb.
  start_display
  export QT_QPA_PLATFORM=windows
  for exe in "$build_dir"/bin/test_*.exe; do
    [ -e "$exe" ] || continue
    name="$(basename "$exe" .exe)"
    if [ -n "$filter" ] && [[ "$name" != *"$filter"* ]]; then
      continue
    fi
    is_window_test "$name" && run_program "$exe"
  done
  if [ -z "$filter" ] || [[ tonwright == *"$filter"* ]]; then
    ran=$((ran + 1))
    echo "tonwright.exe as a user meets it:"
    if ! timeout -k 10 300 "$source_dir/tests/win32/wine_user_run.sh" "$build_dir/bin" \
      "${screenshot:-$logs/main-window-wine.png}" 2>&1 | sed 's/^/  /'; then
      broken+=(tonwright)
    fi
  fi
  stop_display
fi

if [ "$ran" -eq 0 ]; then
  echo "no test program found in $build_dir/bin"
  exit 1
fi
echo "Windows build under Wine: $ran programs"
echo "$passed passed, $failed failed, $skipped skipped"
[ ${#broken[@]} -eq 0 ]
