#!/usr/bin/env bash
# After Decode with the console in a normal window, the console opens wholly on the screen and
# beside Tonwright's window, not under it, and Tonwright's window keeps the focus, under a window
# manager that gives every new window the focus; on a screen with room beside the window and on
# one without. Runs the real programs, copied into a scratch folder (so the settings file lands
# there), on a virtual display of its own, with the file to decode named on the command line.
#   focus_test.sh BIN_DIR STANDIN_DECODER
set -euo pipefail
bin=$1
standin=$2
for tool in Xvfb openbox xdotool xwininfo xprop xterm; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

scratch=$(mktemp -d)
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  pids=()
}
trap 'stop; rm -rf "$scratch"' EXIT

mkdir -p "$scratch/program" "$scratch/decoder" "$scratch/music" "$scratch/out"
cp "$bin/tonwright" "$bin/tonwright-console" "$scratch/program/"
# A decoder that takes its time, so the console window is there to be looked at.
printf '#!/bin/sh\nsleep 3\nexec "%s" "$@"\n' "$standin" > "$scratch/decoder/l3dec"
chmod +x "$scratch/decoder/l3dec"
printf 'an mp3' > "$scratch/music/track01.mp3"
drive() { printf 'C:%s' "${1//\//\\}"; }
# The last folder browsed is another: the command line brings the window to the file.
write_settings() {
  printf '[Directories]\r\nDecoderPath = %s\r\nLastPath = %s\r\nDestination = %s\\\r\n[Switches]\r\nLoadMode = 0\r\n' \
    "$(drive "$scratch/decoder")" "$(drive "$scratch/out")" "$(drive "$scratch/out")" \
    > "$scratch/program/tonwright.ini"
}

# The outer frame of a window: x y width height.
frame() {
  local x y w h l r t b
  x=$(xwininfo -id "$1" | sed -n 's/.*Absolute upper-left X: *//p')
  y=$(xwininfo -id "$1" | sed -n 's/.*Absolute upper-left Y: *//p')
  w=$(xwininfo -id "$1" | sed -n 's/^ *Width: *//p')
  h=$(xwininfo -id "$1" | sed -n 's/^ *Height: *//p')
  read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= *//; s/,//g')
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

failures=0
for screen in 1280x1024 1024x768; do
  display=
  for n in $(seq 90 130); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
  done
  [ -n "$display" ] || { echo "no free display number"; exit 1; }
  Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 & pids+=($!)
  export DISPLAY=$display
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_CURRENT_DESKTOP
  export TONWRIGHT_TERMINAL=xterm
  for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & pids+=($!)
  sleep 1
  write_settings
  (cd "$scratch" && HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" \
     exec "$scratch/program/tonwright" "$scratch/music/track01.mp3" >/dev/null 2>&1) & pids+=($!)

  window=$(timeout 20 xdotool search --sync --name '^Vandrel Tonwright' | head -1)
  xdotool windowactivate --sync "$window"
  sleep 0.5
  # The Decode button (the window's own coordinates); the file is selected already.
  xdotool mousemove --window "$window" 376 290 click 1
  console=$(timeout 20 xdotool search --sync --name '^TEMP.BAT' | head -1)
  if [ -z "$console" ]; then
    echo "$screen: the console window did not open"
    failures=$((failures + 1)); stop; continue
  fi
  sleep 1
  active=$(xdotool getactivewindow getwindowname)
  if [ "$active" != "Vandrel Tonwright 1.10" ]; then
    echo "$screen: after Decode the active window is \"$active\", not Tonwright's"
    failures=$((failures + 1))
  fi
  read -r mx my mw mh < <(frame "$window")
  read -r cx cy cw ch < <(frame "$console")
  sw=${screen%x*} sh=${screen#*x}
  if [ "$cx" -lt 0 ] || [ "$cy" -lt 0 ] || [ $((cx + cw)) -gt "$sw" ] || [ $((cy + ch)) -gt "$sh" ]; then
    echo "$screen: the console (${cw}x$ch+$cx+$cy) runs off the screen"
    failures=$((failures + 1))
  fi
  if [ "$cx" -lt $((mx + mw)) ] && [ "$mx" -lt $((cx + cw)) ] &&
     [ "$cy" -lt $((my + mh)) ] && [ "$my" -lt $((cy + ch)) ]; then
    echo "$screen: the console (${cw}x$ch+$cx+$cy) is under the window (${mw}x$mh+$mx+$my)"
    failures=$((failures + 1))
  fi
  echo "$screen: window ${mw}x$mh+$mx+$my, console ${cw}x$ch+$cx+$cy"
  stop
done
[ "$failures" -eq 0 ] || exit 1
echo "the console opened in view and Tonwright kept the focus"
