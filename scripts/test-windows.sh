#!/usr/bin/env bash
# The Windows stage of the test command: cross-builds the player and the
# Windows tests with MinGW-w64 and runs them under Wine, headless: a private
# X display (Xvfb), a private sound server (PulseAudio with a null sink at
# 8000 Hz) and ALSA's file tap in front of it, which receives exactly the PCM
# the player writes through waveOut.
#
#   scripts/test-windows.sh [QUILLO_TOOL]
#
# QUILLO_TOOL is the host build of the quillo tool (default
# build/default/tools/quillo, built when missing). Skips loudly when the
# MinGW-w64 and Wine packages cannot be installed; QUILLO_REQUIRE_WINDOWS=1
# turns the skip into a failure. Screenshots and logs stay in
# build/windows-tests/wine-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh

skip() {
  echo "== SKIPPED: Windows stage: $*"
  echo "== (QUILLO_REQUIRE_WINDOWS=1 makes this a failure)"
  [ -z "${QUILLO_REQUIRE_WINDOWS:-}" ] || exit 1
  exit 0
}
ensure_packages scripts/packages-windows.txt || skip "MinGW-w64 and Wine packages are missing"
for program in x86_64-w64-mingw32-g++ wine wineserver Xvfb xdotool pulseaudio pactl import; do
  command -v "$program" >/dev/null || skip "$program not found"
done

stage_start=$(date +%s)
elapsed() { echo "$(($(date +%s) - stage_start)) s"; }
fail() {
  echo "FAIL: $*"
  exit 1
}

# --- Build -------------------------------------------------------------------
jobs=$(nproc 2>/dev/null || echo 2)
tool=$(realpath -m "${1:-$root/build/default/tools/quillo}")
if [ ! -x "$tool" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs" --target quillo
fi
# The Windows sample is packed by the host build's tool.
echo "== build: windows-tests"
cmake --preset windows-tests -DQUILLO_HOST_TOOL="$tool" >/dev/null
cmake --build --preset windows-tests -j "$jobs"
build=$root/build/windows-tests
player=$build/platform/win32/Quillo.exe
sample=$build/samples/quillo-sample.exe
[ -f "$sample" ] || fail "no $sample"
# The 32-bit player is built (its size checked by the build) but cannot run here.
echo "== build: windows-i686"
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 -j "$jobs"
player32=$root/build/windows-i686/platform/win32/quillo32.exe
[ -f "$player32" ] || fail "no $player32"
out=$build/wine-output
rm -rf "$out"
mkdir -p "$out"
echo "== built ($(elapsed)); Quillo.exe $(cat "$player.size") bytes, quillo32.exe" \
  "$(cat "$player32.size") bytes, each padded to $(stat -c %s "$player")"

# --- Environment: display, sound server, Wine prefix ---------------------------
work=$(mktemp -d /tmp/quillo-wine.XXXXXX)
pids=()
wine_ready=
cleanup() {
  local status=$?
  exec 9>&- 2>/dev/null || true
  if [ -n "$wine_ready" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
  [ "$status" -eq 0 ] || echo "== Windows stage FAILED ($(elapsed)); logs in $out"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds.
wait_for() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

mkdir -p "$work/rt" "$work/home" "$work/pulse" "$work/cap"
chmod 700 "$work/rt"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$work/display" 2>"$out/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
wait_for 10 xdpyinfo || fail "display $DISPLAY does not answer"

pulse_socket=$work/pulse/native
cat >"$work/probe.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$pulse_socket
load-module module-null-sink sink_name=probe_sink rate=8000 format=s16le channels=1 norewinds=1
set-default-sink probe_sink
EOF
HOME=$work/pulse XDG_RUNTIME_DIR=$work/rt pulseaudio -n -F "$work/probe.pa" \
  --exit-idle-time=-1 --daemonize=no --use-pid-file=no >"$out/pulseaudio.log" 2>&1 &
pids+=($!)
wait_for 10 env PULSE_SERVER="unix:$pulse_socket" pactl info || fail "PulseAudio did not start"

# ALSA's default device writes what it plays into the capture file, which
# every open of the device starts anew.
capture=$work/cap/alsa.raw
cat >"$work/home/.asoundrc" <<EOF
pcm.!default { type file; slave.pcm { type pulse; server "unix:$pulse_socket" } file "$capture" format "raw" }
EOF

# A UTF-8 locale, so that Wine reads the file names made below as they are
# meant; its ANSI code page is then 1252, which has none of the characters
# outside Latin script in those names.
export WINEPREFIX=$work/wpfx WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  HOME=$work/home XDG_RUNTIME_DIR=$work/rt LC_ALL=C.UTF-8
wine_ready=1
mkdir -p "$WINEPREFIX"
wineserver -p  # stays up between the programs until wineserver -k
wineboot -i >"$out/wineboot.log" 2>&1 || fail "wineboot failed"
mkfifo "$work/keepalive"
wine cmd <"$work/keepalive" >/dev/null 2>&1 &
pids+=($!)
exec 9>"$work/keepalive"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# set_audio DRIVER: the Wine audio driver of programs started afterwards
# ("" for none: no wave-output device at all).
set_audio() {
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d "$1" /f >/dev/null
}
set_audio alsa
echo "== Wine ready on $DISPLAY ($(elapsed))"

# Windows path of a file below / (Wine maps drive Z: to /).
winpath() { echo "Z:${1//\//\\}"; }

# --- Unit tests under Wine -----------------------------------------------------
while read -r exe; do
  [ -n "$exe" ] || continue
  name=$(basename "$exe" .exe)
  echo "== wine $name"
  (cd "$build" && QUILLO_PLAYER_EXE=$([ -f "$player" ] && winpath "$player") \
    QUILLO_SHARED="${QUILLO_SHARED:-}" wine "$exe" --gtest_brief=1) >"$out/$name.log" 2>&1 || {
    cat "$out/$name.log"
    fail "$name"
  }
  grep -E '^\[  (PASSED|SKIPPED|FAILED) ' "$out/$name.log" || true
done <"$build/wine-tests.txt"
echo "== unit tests passed ($(elapsed))"

# --- The player, end to end ------------------------------------------------------
probe=$build/tests/win32/quillo_probe.exe
frames=$root/samples/hello-8k.g729
[ -f "$frames" ] || fail "missing $frames"
buffer_bytes=8160 # one block of 8 kbit/s speech as PCM

# make_message NAME FRAMES EFFECT: packs the first FRAMES frames of the sample
# behind the player, with voice effect EFFECT at full depth.
make_message() {
  head -c $(($2 * 10)) "$frames" >"$work/$1.g729"
  "$tool" pack --rate 8 --effect "$3" --depth-byte 0 --player "$player" "$work/$1.g729" \
    -o "$work/$1.exe" >/dev/null
}

# start_player NAME [PATH]: runs message NAME, or the program at PATH;
# sets player_pid.
start_player() {
  (cd "$work" && exec wine "${2:-$work/$1.exe}" >"$out/$1.log" 2>&1) &
  player_pid=$!
}
player_exited() { ! [ -e "/proc/$player_pid" ] || grep -q '^[0-9]* ([^)]*) Z' "/proc/$player_pid/stat"; }
# probe_windows: the player's windows and controls (see quillo_probe.cpp).
probe_windows() { wine "$probe" 2>/dev/null | tr -d '\r' >"$work/probe.txt"; }
dialog_title() { probe_windows && sed -n 's/^window class="#32770" title="\(QLO \[[^"]*\)".*/\1/p' "$work/probe.txt" | head -1; }
title_is() { [ "$(dialog_title)" = "$1" ]; }
message_box_shown() { probe_windows && grep -q '^window class="#32770" title="QLO" ' "$work/probe.txt"; }
message_box_gone() { probe_windows && ! grep -q '^window class="#32770" title="QLO" ' "$work/probe.txt"; }
# control FIELD ID: a field of control ID from the last probe.
control() { sed -n "s/^control id=$2 .*\\b$1=\\([^ ]*\\).*/\\1/p" "$work/probe.txt" | head -1; }
# click ID: a real mouse click on the centre of control ID of the last probe.
click() {
  local rect
  rect=$(control rect "$1")
  [ -n "$rect" ] || fail "no control $1 to click"
  IFS=, read -r l t r b <<<"$rect"
  xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}
# key KEY: a real key press with the pointer over the dialog.
key() {
  local rect
  rect=$(sed -n 's/^window class="#32770" title="QLO \[.* rect=\([-0-9,]*\) .*/\1/p' "$work/probe.txt")
  IFS=, read -r l t r b <<<"$rect"
  xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) key "$1"
}
# title_for BLOCKS POSITION: the title at block POSITION of a BLOCKS-block message.
title_for() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
f = lambda x: struct.unpack('f', struct.pack('f', x))[0]
blocks, position = int(sys.argv[1]), int(sys.argv[2])
total = int(blocks * 512 * f(0.00099609375) + 0.5)
now = int(position * f(0.51) + 0.5)
hms = lambda s: '%02d:%02d:%02d' % (s // 3600, s % 3600 // 60, s % 60)
print('QLO [%s]-[%s]' % (hms(now), hms(total)))
PY
}
capture_size() { stat -c %s "$capture" 2>/dev/null || echo 0; }
# capture_settled: the capture file has not grown for half a second.
capture_settled() {
  local before
  before=$(capture_size)
  sleep 0.5
  [ "$before" -gt 0 ] && [ "$(capture_size)" -eq "$before" ]
}

# 1. No sound device: the message box, and the dialog stays usable.
make_message short 280 9 # 6 blocks, 3 s, echo effect
set_audio ""
t0=$(date +%s)
start_player short
wait_for 15 message_box_shown || fail "no message box titled QLO without a sound device"
cp "$work/probe.txt" "$out/no-device.txt"
grep -q 'text="Can not open sound device."' "$work/probe.txt" || fail "message box text"
icon=
for style in $(sed -n 's/^control .*class="Static" style=\(0x[0-9a-f]*\) .*/\1/p' "$work/probe.txt"); do
  [ $((style & 0x1f)) -ne 3 ] || icon=1 # SS_ICON
done
[ -n "$icon" ] || fail "message box without its icon"
import -window root "$out/no-device.png"
# The box comes up while the dialog initialises, before the dialog shows.
ok=$(sed -n 's/^control id=\([0-9]*\) class="Button" .*text="OK"/\1/p' "$work/probe.txt" | head -1)
click "$ok"
wait_for 5 message_box_gone || fail "message box stays"
wait_for 5 title_is "$(title_for 6 0)" || fail "no dialog after the message box"
[ "$(control enabled 1019)" = 1 ] || fail "Play is not enabled without a sound device"
# Play tries again, and gets the same answer.
click 1019
wait_for 5 message_box_shown || fail "Play without a sound device shows no message box"
ok=$(sed -n 's/^control id=\([0-9]*\) class="Button" .*text="OK"/\1/p' "$work/probe.txt" | head -1)
click "$ok"
wait_for 5 message_box_gone || fail "message box stays"
key Escape
wait_for 10 player_exited || fail "Escape does not end the player"
wait "$player_pid" || true
echo "== no sound device: message box \"Can not open sound device.\" ($(($(date +%s) - t0)) s)"

# 2. Playback to the end, captured: two silent buffers, then exactly the PCM
#    that quillo decode gives for the same message. The message plays where
#    it was made, then copied into folders and under names with characters
#    outside the ANSI code page, and under a path longer than MAX_PATH: each
#    copy must find its own file, show the whole length and play it.
long_folder=$work/long
for i in 1 2 3; do long_folder+=/part$i-$(printf '%080d' 0); done
places=(
  "$work/short.exe"
  "$work/Сообщения/short.exe"
  "$work/Μηνύματα/μήνυμα.exe"
  "$work/留言/メッセージ.exe"
  "$work/🎙 voice/💌.exe"
  "$long_folder/послание.exe"
)
# windows_length PATH: the length of PATH's Windows form in UTF-16 units.
windows_length() {
  python3 -c 'import sys; print(len(sys.argv[1].encode("utf-16-le")) // 2)' "$(winpath "$1")"
}
[ "$(windows_length "${places[-1]}")" -gt 260 ] || fail "the long path is not longer than MAX_PATH"
set_audio alsa
"$tool" decode "$work/short.exe" -o "$work/short.raw" >/dev/null
final=$(title_for 6 6)
for place in "${places[@]}"; do
  mkdir -p "$(dirname "$place")"
  [ -f "$place" ] || cp "$work/short.exe" "$place"
  rm -f "$capture"
  t0=$(date +%s)
  start_player short "$place"
  wait_for 20 title_is "$final" ||
    fail "$place: title never reached \"$final\" (last: \"$(dialog_title)\")"
  wait_for 10 capture_settled || fail "$place: capture does not end"
  probe_windows
  [ "$(control enabled 1019)" = 1 ] || fail "$place: Play is not enabled at the end of the message"
  cp "$capture" "$out/short-capture.raw"
  python3 - "$capture" "$work/short.raw" "$buffer_bytes" <<'PY' || fail "$place: captured PCM differs"
import sys
cap = open(sys.argv[1], 'rb').read()
want = bytes(2 * int(sys.argv[3])) + open(sys.argv[2], 'rb').read()
if cap[:len(want)] != want:
    n = min(len(cap), len(want))
    first = next((i for i in range(n) if cap[i] != want[i]), n)
    sys.exit('captured %d bytes, expected %d; first difference at byte %d' % (len(cap), len(want), first))
print('== captured %d bytes: 2 silent buffers + %d bytes decoded, bit-exact; %d bytes after'
      % (len(cap), len(want) - 2 * int(sys.argv[3]), len(cap) - len(want)))
PY
  key Escape
  wait_for 10 player_exited || fail "$place: Escape does not end the player"
  wait "$player_pid" || true
  echo "== played to the end, title \"$final\": $(winpath "$place")" \
    "($(windows_length "$place") characters, $(($(date +%s) - t0)) s)"
done

# 3. Stop, Play, Enter and Escape, with real clicks and keys, on the whole
#    sample (26 blocks, 13 s).
seconds_of() { # the position in seconds of a title
  local hms=${1#QLO [}
  hms=${hms%%]*}
  IFS=: read -r h m s <<<"$hms"
  # A title not read (the window busy or gone) counts as no position yet.
  if [[ ! "$h" =~ ^[0-9]+$ || ! "$m" =~ ^[0-9]+$ || ! "$s" =~ ^[0-9]+$ ]]; then
    echo -1
    return
  fi
  echo $((10#$h * 3600 + 10#$m * 60 + 10#$s))
}
# starts_silent: the capture holds two silent buffers, then sound.
starts_silent() {
  python3 - "$capture" "$buffer_bytes" <<'PY'
import sys
cap, silent = open(sys.argv[1], 'rb').read(), 2 * int(sys.argv[2])
sys.exit(not (len(cap) > silent and cap[:silent] == bytes(silent) and any(cap[silent:])))
PY
}
title_past() { [ "$(seconds_of "$(dialog_title)")" -gt "$1" ]; }
# title_seconds: the position the title shows, waiting up to 5 s for a
# title that can be read (a probe of a busy window may see none).
title_seconds() {
  local s i
  for i in $(seq 50); do
    s=$(seconds_of "$(dialog_title)")
    [ "$s" -ge 0 ] && break
    sleep 0.1
  done
  echo "$s"
}
play_enabled() { probe_windows && [ "$(control enabled 1019)" = "$1" ]; }
# focus_off_buttons: after a click, neither button keeps the keyboard focus
# or the default-button style.
focus_off_buttons() {
  local focus
  focus=$(sed -n 's/^window class="#32770" title="QLO \[.* focus=\([-0-9]*\)$/\1/p' "$work/probe.txt")
  [ "$focus" != 1019 ] && [ "$focus" != 1020 ] || fail "button $focus keeps the focus after a click"
  for id in 1019 1020; do
    [ $(($(control style $id) & 1)) -eq 0 ] || fail "button $id keeps the default-button style"
  done
}

# The Windows sample as the build packed it: the whole sample speech.
t0=$(date +%s)
"$tool" decode "$sample" -o "$work/long.raw" >/dev/null
rm -f "$capture"
start_player long "$sample"
wait_for 15 title_is "$(title_for 26 4)" || fail "no progress to \"$(title_for 26 4)\""
probe_windows
[ "$(control enabled 1019)" = 0 ] || fail "Play is enabled while playing"
playing_image=$(control image 1019)
# The dialog manager gives the focus to Stop, the first button that can take
# it (the Linux dialog does the same).
focus=$(sed -n 's/^window class="#32770" title="QLO \[.* focus=\([-0-9]*\)$/\1/p' "$work/probe.txt")
[ "$focus" = 1020 ] || fail "the focus starts on $focus, not on Stop"

click 1020 # pause
wait_for 5 play_enabled 1 || fail "Stop does not pause"
focus_off_buttons
wait_for 5 capture_settled || fail "sound goes on after Stop"
cp "$capture" "$out/long-capture.raw"
python3 - "$capture" "$work/long.raw" "$buffer_bytes" <<'PY' || fail "captured PCM differs"
import sys
cap = open(sys.argv[1], 'rb').read()
want = bytes(2 * int(sys.argv[3])) + open(sys.argv[2], 'rb').read()
n = len(cap)
first = next((i for i in range(min(n, len(want))) if cap[i] != want[i]), n)
# A reset stops the device within its last period, which the device may
# complete with silence: at most a few milliseconds at the very end.
cut = n - first
if n < 2 * int(sys.argv[3]) + 8000 or n > len(want) or cut > 512 or any(cap[first:]):
    sys.exit('captured %d bytes; first difference at byte %d: %s, expected %s' % (
        n, first, cap[first:first + 16].hex(), want[first:first + 16].hex()))
print('== paused after %d bytes, bit-exact%s' % (
    n, ' up to %d bytes of silence at the stop' % cut if cut else ''))
PY
import -window root "$out/paused.png"
[ "$(control image 1019)" != "$playing_image" ] || fail "Play keeps its playing image after Stop"
paused=$(dialog_title)
size=$(capture_size)
sleep 1.2 # more than two buffers' time
[ "$(dialog_title)" = "$paused" ] || fail "the title moves while paused"
[ "$(capture_size)" -eq "$size" ] || fail "sound goes on while paused"

click 1020 # rewind
wait_for 5 title_is "$(title_for 26 0)" || fail "a second Stop does not rewind"
focus_off_buttons

# A later playback starts from the decoder memories the earlier one left
# (as the player is meant to), so only the silent start is known here.
click 1019 # play from the start
wait_for 5 play_enabled 0 || fail "Play does not start"
focus_off_buttons
wait_for 10 title_is "$(title_for 26 3)" || fail "no progress after Play"
starts_silent || fail "a new playback does not start with two silent buffers"

click 1020 # pause, then resume one block before the position reached
wait_for 5 play_enabled 1 || fail "Stop does not pause"
paused=$(title_seconds)
[ "$paused" -ge 0 ] || fail "the title cannot be read while paused"
click 1019
wait_for 5 play_enabled 0 || fail "Play does not resume"
wait_for 10 title_past "$paused" || fail "no progress after resuming"
[ "$(title_seconds)" -le $((paused + 2)) ] || fail "resumed too far ahead"
starts_silent || fail "a resumed playback does not start with two silent buffers"

key Tab # no control has a tab stop: the focus stays off the buttons
sleep 0.3
probe_windows
focus_off_buttons
key Return # the default button is hidden and ignored: nothing happens
sleep 0.6
player_exited && fail "Enter ends the player"
at=$(title_seconds)
wait_for 5 title_past "$at" || fail "playback stops after Enter"
import -window root "$out/player.png"
key Escape
wait_for 10 player_exited || fail "Escape does not end the player"
wait "$player_pid" || true
echo "== Stop, Play, resume, Enter and Escape ($(($(date +%s) - t0)) s); screenshots in $out"
. "$root/scripts/windows-make-scenario.sh"
scenario_make_windows_message
echo "== Windows stage passed ($(elapsed))"
