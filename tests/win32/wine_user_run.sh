#!/usr/bin/env bash
# tonwright.exe under Wine as a user meets it, on the display in DISPLAY and in the Wine prefix
# in WINEPREFIX (scripts/cross-test.sh sets up both):
# 1. a first start in a folder of its own opens Setup before anything else; Enter takes its
#    Okay, the main window follows, and closing it writes tonwright.ini;
# 2. the stand-in decoder goes, as L3DEC.EXE, into the decoder folder that Setup kept;
# 3. a second start, named every file of a folder of hostile names, opens there with them
#    selected, inside a Wine desktop that draws the frames as Windows does. That desktop, trimmed
#    to the window, is saved as the PNG; then Enter presses Decode, the console runs TEMP.BAT,
#    and every output must land in the output folder under its long name, with its input's bytes.
#
#   tests/win32/wine_user_run.sh BIN_FOLDER OUTPUT.png
set -euo pipefail

bin="$1"
output="$2"
title='^Vandrel Tonwright 1\.10$'

fail() {
  echo "user run: $*" >&2
  exit 1
}
# Whatever ends the run, no Wine process of it stays behind (the caller waits for our output to
# end), and no capture of the screen is left in the temporary folder.
raw=""
cleanup() {
  [ -z "$raw" ] || rm -f "$raw"
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# Wine's C: drive; the program and the music live there, as on a Windows machine.
drive_c="$WINEPREFIX/drive_c"
program="$drive_c/Tonwright"
music="$drive_c/Music/Hostile names"
rm -rf "$program" "$music"
mkdir -p "$program" "$music"
cp "$bin/tonwright.exe" "$program/"
# Names that mean something to cmd, one that a variable could swallow, one beyond any short name.
names=("a & b.mp3" "50% off.mp3" "(live) [2001].mp3" "bang!.mp3" "café.mp3" "%PATH%.mp3"
  "song & calc.mp3" "x^y.mp3" "semi;colon, eq=.mp3" "Overture.MP3"
  "An Extremely Long Title That Goes On And On (Remastered Edition).mp3")
for name in "${names[@]}"; do
  printf 'frames of %s' "$name" >"$music/$name"
done

# 1. First start: no tonwright.ini, so Setup comes first.
(cd "$program" && exec wine tonwright.exe) >/dev/null 2>&1 </dev/null &
setup=$(timeout 60 xdotool search --sync --onlyvisible --name '^Setup$' | head -1) || fail "no Setup window"
if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then
  fail "the main window is there before Setup is closed"
fi
timeout 20 xdotool windowfocus --sync "$setup" key Return || fail "Setup took no focus" # Okay has it
main=$(timeout 30 xdotool search --sync --onlyvisible --name "$title" | head -1) || fail "no main window"
# Alt+F4, as a user closes it (destroying its X window would be no close to Windows).
timeout 20 xdotool windowfocus --sync "$main" key alt+F4 || fail "the main window took no focus"
timeout 60 wineserver -w || fail "the program did not end after its window closed"
[ -f "$program/tonwright.ini" ] || fail "closing the window wrote no tonwright.ini"
echo "first start: Setup, then the main window; closing it wrote tonwright.ini"

# 2. The decoder's folder a user then chooses in Setup, kept as the program keeps it; the output
#    folder stays the first start's, the root of the drive.
mkdir -p "$program/Decoder"
sed -i -e 's/^DecoderPath = .*\r$/DecoderPath = C:\\Tonwright\\Decoder\r/' "$program/tonwright.ini"
setting() {
  local value
  value="$(sed -n "s/^$1 = \(.*\)\r$/\1/p" "$program/tonwright.ini")"
  [ -n "$value" ] || fail "tonwright.ini names no $1"
  winepath -u "$value" 2>/dev/null
}
decoder="$(setting DecoderPath)"
destination="$(setting Destination)"
cp "$bin/standin-l3dec.exe" "$decoder/L3DEC.EXE"
wanted=()
for name in "${names[@]}"; do
  wanted+=("${name%.*}.wav")
  rm -f "$destination/${name%.*}.wav"
done

# 3. Second start, inside a Wine desktop, at the folder with every file selected.
win_music='C:\Music\Hostile names'
arguments=()
for name in "${names[@]}"; do
  arguments+=("$win_music\\$name")
done
(cd "$program" && exec wine explorer /desktop=Tonwright,640x480 tonwright.exe "${arguments[@]}") \
  >/dev/null 2>&1 </dev/null &
desktop=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tonwright - Wine desktop$' | head -1) ||
  fail "no Wine desktop"
# The window opens inside, where no X tool sees it: the desktop is one colour until it is there.
raw="$(mktemp --suffix=.png)"
box=""
for _ in $(seq 60); do
  sleep 1
  import -window "$desktop" "$raw"
  box="$(convert "$raw" -trim -format '%w %h %X %Y' info: 2>/dev/null)" || continue
  read -r width height _ _ <<<"$box"
  [ "$width" -gt 400 ] && [ "$height" -gt 250 ] && break
done
sleep 2 # the lists fill in after the frame is drawn
import -window "$desktop" "$raw"
convert "$raw" -trim +repage "$output"
echo "main window: $output ($(identify -format '%wx%h' "$output"))"

# A click on its title bar makes it the active window, as a user would; Enter presses Decode.
read -r width _ left top <<<"$(convert "$raw" -trim -format '%w %h %X %Y' info:)"
timeout 20 xdotool windowfocus --sync "$desktop" mousemove --window "$desktop" $((left + width / 2)) \
  $((top + 8)) click 1 sleep 0.5 key Return || fail "the Wine desktop took no click"
landed=0
for _ in $(seq 90); do
  landed=0
  for wav in "${wanted[@]}"; do
    [ -f "$destination/$wav" ] && landed=$((landed + 1))
  done
  [ "$landed" -eq ${#wanted[@]} ] && break
  sleep 1
done
wineserver -k 2>/dev/null || true
[ -f "$decoder/TEMP.BAT" ] || fail "Decode wrote no TEMP.BAT"
for name in "${names[@]}"; do
  wav="$destination/${name%.*}.wav"
  [ -f "$wav" ] || fail "no output under its long name: ${name%.*}.wav; TEMP.BAT: $(cat "$decoder/TEMP.BAT")"
  [ "$(cat "$wav")" = "frames of $name" ] || fail "${name%.*}.wav is not $name decoded"
done
echo "Decode: TEMP.BAT run by cmd.exe, ${#wanted[@]} outputs under their long names"
rm -f "$decoder/L3DEC.EXE" "$decoder/TEMP.BAT"
for wav in "${wanted[@]}"; do
  rm -f "$destination/$wav"
done
