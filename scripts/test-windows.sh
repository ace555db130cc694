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

# --- Build -------------------------------------------------------------------
jobs=$(nproc 2>/dev/null || echo 2)
echo "== build: windows-tests"
cmake --preset windows-tests >/dev/null
cmake --build --preset windows-tests -j "$jobs"
build=$root/build/windows-tests
player=$build/platform/win32/Quillo.exe
tool=${1:-$root/build/default/tools/quillo}
if [ ! -x "$tool" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs" --target quillo
fi
out=$build/wine-output
rm -rf "$out"
mkdir -p "$out"
echo "== built ($(elapsed)); player $(stat -c %s "$player" 2>/dev/null) bytes"

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
fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$work/rt" "$work/home" "$work/pulse" "$work/cap"
chmod 700 "$work/rt"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$out/xvfb.log" &
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

export WINEPREFIX=$work/wpfx WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  HOME=$work/home XDG_RUNTIME_DIR=$work/rt
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
