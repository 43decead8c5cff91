#!/usr/bin/env bash
# After Decode with the console in a normal window, Tonwright's window keeps the focus, under a
# window manager that gives every new window the focus. Runs the real programs, copied into a
# scratch folder (so the settings file lands there), on a virtual display of its own.
#   focus_test.sh BIN_DIR STANDIN_DECODER
set -euo pipefail
bin=$1
standin=$2
for tool in Xvfb openbox xdotool xterm; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/program" "$scratch/decoder" "$scratch/music" "$scratch/out"
cp "$bin/tonwright" "$bin/tonwright-console" "$scratch/program/"
# A decoder that takes its time, so the console window is there to be looked at.
printf '#!/bin/sh\nsleep 3\nexec "%s" "$@"\n' "$standin" > "$scratch/decoder/l3dec"
chmod +x "$scratch/decoder/l3dec"
printf 'an mp3' > "$scratch/music/track01.mp3"
drive() { printf 'C:%s' "${1//\//\\}"; }
printf '[Directories]\r\nDecoderPath = %s\r\nLastPath = %s\r\nDestination = %s\\\r\n[Switches]\r\nLoadMode = 0\r\n' \
  "$(drive "$scratch/decoder")" "$(drive "$scratch/music")" "$(drive "$scratch/out")" \
  > "$scratch/program/tonwright.ini"

display=
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free display number"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
sleep 1
(cd "$scratch" && HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" "$scratch/program/tonwright" >/dev/null 2>&1) & pids+=($!)

window=$(timeout 20 xdotool search --sync --name '^Vandrel Tonwright' | head -1)
xdotool windowactivate --sync "$window"
# The file list's first entry, then the Decode button (the window's own coordinates).
xdotool mousemove --window "$window" 300 41 click 1
sleep 0.3
xdotool mousemove --window "$window" 376 290 click 1
console=$(timeout 20 xdotool search --sync --name '^TEMP.BAT' | head -1)
[ -n "$console" ] || { echo "the console window did not open"; exit 1; }
sleep 1
active=$(xdotool getactivewindow getwindowname)
if [ "$active" != "Vandrel Tonwright 1.10" ]; then
  echo "after Decode the active window is \"$active\", not Tonwright's"
  exit 1
fi
echo "Tonwright kept the focus while the console opened"
