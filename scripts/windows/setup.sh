# Sourced by scripts/test-windows.sh: builds the Windows player and tests,
# and sets up where they run: a private X display (Xvfb), a private sound
# server (PulseAudio with a null sink at 8000 Hz) with ALSA's file tap in
# front of it, a Wine prefix; then the helpers the scenarios use. Expects
# $root (the checkout) and the tool path as $1 of the stage.

skip() { skip_stage Windows QUILLO_REQUIRE_WINDOWS "$*"; }
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
# The player's title for a message at a block, from the host build beside the tool.
titler=$(realpath -m "$(dirname "$tool")/../tests/message_title")
if [ ! -x "$tool" ] || [ ! -x "$titler" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs" --target quillo message_title
  titler=$root/build/default/tests/message_title
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

# --- Helpers of the scenarios ---------------------------------------------------
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
# title_at MESSAGE POSITION: the title the player shows for MESSAGE at block
# POSITION.
title_at() { "$titler" "$1" "$2"; }
# compare_capture MODE [DECODED]: the capture against two silent buffers and
# DECODED (scripts/windows/capture.py).
compare_capture() { python3 "$root/scripts/windows/capture.py" "$1" "$capture" "$buffer_bytes" "${2:-}"; }
capture_size() { stat -c %s "$capture" 2>/dev/null || echo 0; }
# capture_settled: the capture file has not grown for half a second.
capture_settled() {
  local before
  before=$(capture_size)
  sleep 0.5
  [ "$before" -gt 0 ] && [ "$(capture_size)" -eq "$before" ]
}
# windows_length PATH: the length of PATH's Windows form in UTF-16 units.
windows_length() { echo $(($(printf %s "$(winpath "$1")" | iconv -f UTF-8 -t UTF-16LE | wc -c) / 2)); }
# seconds_of TITLE: the position in seconds of a title.
seconds_of() {
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
starts_silent() { compare_capture silent; }
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
