#!/usr/bin/env bash
# End-to-end runs of the real Linux players, headless: SDL's disk audio
# driver captures the sound, Xvfb shows the dialog, xdotool reads and drives
# it. Every process started here is stopped again, also on failure.
#
#   player_e2e.sh dialog   SAMPLE TOOL OUTDIR   self-playing program: sound, title, end
#   player_e2e.sh nodevice SAMPLE TOOL OUTDIR   self-playing program without a sound device
#   player_e2e.sh keys     SAMPLE TOOL OUTDIR   the dialog's keyboard, window and screenshots
#   player_e2e.sh terminal MESSAGE TOOL OUTDIR  quillo play: sound, titles, keys, no device
#   player_e2e.sh desktop  MESSAGE TOOL OUTDIR BUILD SOURCE
#                          installed into OUTDIR/root: desktop entry, file types,
#                          the installed player playing MESSAGE (a .qlo)
#
# Exit status 77 means skipped (a tool it needs is missing).
set -euo pipefail

mode=$1 sample=$2 tool=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
SKIP=77

skip() {
  echo "SKIPPED: $*"
  exit $SKIP
}
fail() {
  echo "FAILED: $*" >&2
  if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
    echo "windows named QLO:" >&2
    for w in $(xdotool search --name QLO 2>/dev/null); do
      echo "  $w '$(xdotool getwindowname "$w" 2>/dev/null)'" >&2
    done
  fi
  if [ -s "$out/player.log" ]; then
    echo "player output:" >&2
    grep -v CRITICAL "$out/player.log" | head -n 20 >&2
  fi
  exit 1
}

if [ "$mode" = terminal ] || [ "$mode" = desktop ]; then
  [ -f "$sample" ] || skip "no message at $sample"
else
  [ -x "$sample" ] || skip "no self-playing sample at $sample (needs SDL2 and the Linux player)"
fi
[ -x "$tool" ] || skip "no quillo tool at $tool"
command -v python3 >/dev/null || skip "python3 missing"

rm -rf "$out"
mkdir -p "$out"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null || true
  done
  for p in "${pids[@]}"; do
    wait "$p" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
# A watchdog ends the run (and so, through the trap, everything it started)
# well before the test's own time limit.
(
  trap 'kill $nap 2>/dev/null; exit 0' TERM
  sleep "${QUILLO_E2E_LIMIT:-150}" &
  nap=$!
  wait $nap && echo "FAILED: time limit" >&2 && kill -TERM $$ 2>/dev/null
) &
pids+=($!)

# now_ms: milliseconds since the epoch.
now_ms() { date +%s%3N; }

# wait_for SECONDS COMMAND... (scripts/lib.sh)
. "$here/../../scripts/lib.sh"

start_display() {
  command -v Xvfb >/dev/null || skip "Xvfb missing (Debian: xvfb)"
  command -v xdotool >/dev/null || skip "xdotool missing"
  local fdfile="$out/display"
  # -noreset: the server must not reset when the probing client leaves, or
  # a program connecting just then loses its windows.
  Xvfb -displayfd 9 -screen 0 640x480x24 -nolisten tcp -noreset 9>"$fdfile" 2>"$out/xvfb.log" &
  pids+=($!)
  wait_for 10 test -s "$fdfile" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$fdfile")"
  wait_for 10 xdotool getmouselocation || fail "display $DISPLAY does not answer"
}

# find_window REGEX: waits for a mapped window whose name matches and prints
# its id (input sent to a window not yet mapped would go elsewhere).
find_window() {
  wait_for 10 xdotool search --onlyvisible --name "$1" || return 1
  xdotool search --onlyvisible --name "$1" | head -n1
}

# gone REGEX: no mapped window's name matches.
gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

# screenshot NAME [WINDOW]: the whole screen, and WINDOW's part of it.
screenshot() {
  command -v import >/dev/null || return 0
  timeout 20 import -window root "$out/$1.png" 2>/dev/null || { echo "no screenshot $1"; return 0; }
  [ -n "${2:-}" ] || return 0
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$2")"
  convert "$out/$1.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1-window.png" 2>/dev/null || true
}

use_disk_audio() {
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$out/$1" SDL_DISKAUDIODELAY=16
}

# wait_silent FILE: waits until FILE stops growing (the device was closed).
wait_closed() {
  local last=-1 size stable=0 limit=$(($(now_ms) + 60000))
  while [ "$stable" -lt 20 ]; do
    size=$(stat -c %s "$1" 2>/dev/null || echo 0)
    if [ "$size" = "$last" ]; then stable=$((stable + 1)); else stable=0; fi
    last=$size
    [ "$(now_ms)" -lt "$limit" ] || return 1
    sleep 0.05
  done
}

# The sound the player should make: the message as `quillo decode` plays it.
expected_pcm() {
  "$tool" decode "$sample" -o "$out/expected.raw" >/dev/null || fail "quillo decode failed"
}

compare() {
  python3 "$here/compare_pcm.py" "$1" "$out/expected.raw" "$sample"
}

# check_shot NAME STATE WINDOW: a screenshot of WINDOW, checked against the
# dialog's layout in STATE (see check_shot.py).
check_shot() {
  command -v import >/dev/null || skip "imagemagick missing"
  screenshot "$1" "$3"
  python3 "$here/check_shot.py" "$out/$1-window.png" "$2" || fail "screenshot $1"
}

# Sound, title and the end of the message, in the dialog.
run_dialog() {
  start_display
  use_disk_audio dialog.raw
  expected_pcm
  local t0 t1 wid title final="" titles=0 last=""
  t0=$(now_ms)
  "$sample" >"$out/player.log" 2>&1 &
  local player=$!
  pids+=($player)
  wid=$(find_window '^QLO \[') || fail "no dialog window appeared"
  screenshot dialog "$wid"
  # The title climbs to the last position while the message plays.
  local limit=$(($(now_ms) + 60000))
  while [ "$(now_ms)" -lt "$limit" ]; do
    title=$(xdotool getwindowname "$wid" 2>/dev/null) || fail "dialog window vanished"
    [ "$title" != "$last" ] && titles=$((titles + 1)) && last=$title
    [[ "$title" =~ ^QLO\ \[([0-9:]+)\]-\[([0-9:]+)\]$ ]] || fail "unexpected title '$title'"
    if [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] && [ "${BASH_REMATCH[1]}" != "00:00:00" ]; then
      final=$title
      break
    fi
    sleep 0.05
  done
  [ -n "$final" ] || fail "title never reached the last position (last: '$last')"
  echo "title reached '$final' after $titles distinct titles"
  wait_closed "$out/dialog.raw" || fail "playback did not stop by itself"
  t1=$(now_ms)
  echo "played and stopped by itself in $((t1 - t0)) ms"
  kill -0 "$player" 2>/dev/null || fail "the dialog closed by itself; it should stay open"
  [ "$(xdotool getwindowname "$wid")" = "$final" ] || fail "title changed after the end"
  compare "$out/dialog.raw" || fail "the sound differs from quillo decode"
  # Escape closes the dialog and ends the program.
  xdotool mousemove --window "$wid" 90 20 key Escape
  wait_for 10 sh -c "! kill -0 $player 2>/dev/null" || fail "Escape did not close the dialog"
  wait "$player" || fail "player exit status $?"
}

# No sound device: the message box, OK, Play tries again, close box ends.
run_nodevice() {
  start_display
  export SDL_AUDIODRIVER=quillo-no-such-driver
  "$sample" >"$out/player.log" 2>&1 &
  local player=$!
  pids+=($player)
  local box dialog
  box=$(find_window '^QLO$') || fail "no message box appeared"
  check_shot messagebox messagebox "$box"
  # OK sits centred at the bottom of the box.
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove --window "$box" $((WIDTH / 2)) $((HEIGHT - 22)) click 1
  wait_for 10 gone '^QLO$' || fail "OK did not close the message box"
  dialog=$(find_window '^QLO \[') || fail "no dialog window after the message box"
  kill -0 "$player" 2>/dev/null || fail "the dialog ended with the message box"
  # Play (dialog units 6,4 -> pixels 9,7) tries again and fails again.
  xdotool mousemove --window "$dialog" 20 20 click 1
  box=$(find_window '^QLO$') || fail "Play did not retry the device"
  xdotool mousemove --window "$box" 20 20 key Return
  wait_for 10 gone '^QLO$' || fail "Enter did not close the message box"
  # Enter in the dialog does nothing; Escape closes it.
  xdotool mousemove --window "$dialog" 100 20 key Return
  sleep 0.3
  kill -0 "$player" 2>/dev/null || fail "Enter closed the dialog"
  xdotool key Escape
  wait_for 10 sh -c "! kill -0 $player 2>/dev/null" || fail "Escape did not close the dialog"
  wait "$player" || fail "player exit status $?"
}

# title_still WINDOW: the title stays the same for 0.8 s (nothing plays).
title_still() {
  local before
  before=$(xdotool getwindowname "$1")
  sleep 0.8
  [ "$(xdotool getwindowname "$1")" = "$before" ]
}
# title_moves WINDOW: the title changes within 3 s (the message plays).
title_moves() {
  local before
  before=$(xdotool getwindowname "$1")
  wait_for 3 sh -c "[ \"\$(xdotool getwindowname $1)\" != '$before' ]"
}

# The window (centred, not resizable, icon 102) and the keyboard, each key
# with the result the Windows dialog gives, and Tab as a desktop has it.
run_keys() {
  start_display
  use_disk_audio keys.raw
  unset SDL_DISKAUDIODELAY # real time: the message lasts 13 s
  "$sample" >"$out/player.log" 2>&1 &
  local player=$!
  pids+=($player)
  local wid X Y WIDTH HEIGHT SCREEN WINDOW hints
  wid=$(find_window '^QLO \[') || fail "no dialog window appeared"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  [ "$X,$Y,$WIDTH,$HEIGHT" = "230,219,180,42" ] || fail "window at $X,$Y size ${WIDTH}x$HEIGHT, not centred 180x42"
  hints=$(xprop -id "$wid" WM_NORMAL_HINTS)
  grep -q 'minimum size: 180 by 42' <<<"$hints" && grep -q 'maximum size: 180 by 42' <<<"$hints" ||
    fail "the window can be resized: $hints"
  xprop -id "$wid" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || fail "the window has no 32 x 32 icon"
  xdotool mousemove --window "$wid" 120 20 # keys go to the window under the pointer
  # Playing, the focus on Stop, the first button that can take it.
  check_shot playing playing "$wid"
  xdotool key space
  wait_for 5 title_still "$wid" || fail "Space on Stop did not pause"
  check_shot paused paused "$wid"
  xdotool key Tab
  check_shot focus-play focus-play "$wid"
  xdotool key Tab
  check_shot focus-stop focus-stop "$wid"
  xdotool key shift+Tab key Return
  title_still "$wid" || fail "Enter started the playback"
  kill -0 "$player" 2>/dev/null || fail "Enter closed the dialog"
  check_shot focus-play-again focus-play "$wid"
  xdotool key space
  title_moves "$wid" || fail "Space on Play did not resume"
  xdotool key Escape
  wait_for 10 sh -c "! kill -0 $player 2>/dev/null" || fail "Escape did not close the dialog"
  wait "$player" || fail "player exit status $?"
}

# The desktop files as installed from BUILD, and the installed player given
# a plain message to play.
run_desktop() {
  local build=$5 source=$6 root=$out/root type
  for program in desktop-file-validate update-mime-database update-desktop-database xdg-mime mimetype; do
    command -v "$program" >/dev/null ||
      skip "$program missing (Debian: desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl)"
  done
  cmake --install "$build" --prefix "$root" >"$out/install.log" || fail "cmake --install failed"
  desktop-file-validate "$root/share/applications/quillo-player.desktop" || fail "desktop entry invalid"
  grep -qx "Exec=$root/bin/quillo-player %f" "$root/share/applications/quillo-player.desktop" ||
    fail "the entry does not run $root/bin/quillo-player"
  update-mime-database "$root/share/mime" || fail "update-mime-database failed"
  update-desktop-database "$root/share/applications" 2>"$out/desktop-database.log" ||
    fail "update-desktop-database failed: $(cat "$out/desktop-database.log")"
  # Only the scratch root and the system's own types; no desktop session,
  # no user settings.
  cp "$sample" "$out/message.qlo"
  # A self-playing message saved from a mail, without its execute bit.
  "$tool" pack --rate 8 --player "$root/bin/quillo-player" "$source/samples/hello-8k.g729" \
    -o "$out/received" >/dev/null || fail "quillo pack failed"
  chmod -x "$out/received"
  (
    unset DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
    export XDG_DATA_DIRS=$root/share:/usr/share XDG_DATA_HOME=$out/data XDG_CONFIG_HOME=$out/config \
      XDG_CONFIG_DIRS=$out/config
    for f in message.qlo:application/x-quillo-message received:application/x-quillo-executable; do
      type=$(xdg-mime query filetype "$out/${f%%:*}")
      [ "$type" = "${f#*:}" ] || fail "${f%%:*} has type '$type', expected ${f#*:}"
      [ "$(xdg-mime query default "$type")" = quillo-player.desktop ] || fail "no default handler for $type"
    done
    type=$(xdg-mime query filetype "$tool")
    [ "$type" != application/x-quillo-executable ] || fail "another program taken for a message"
  ) || exit 1
  for size in 16x16 32x32 256x256 scalable; do
    ls "$root/share/icons/hicolor/$size/apps/quillo."* >/dev/null || fail "no $size icon"
  done
  "$root/bin/quillo-player" "$out/no-such-message.qlo" 2>"$out/missing.log" && fail "a missing file played"
  grep -q 'no-such-message.qlo' "$out/missing.log" || fail "a missing file is not named: $(cat "$out/missing.log")"
  # The installed player plays the plain message given to it.
  start_display
  use_disk_audio desktop.raw
  expected_pcm
  "$root/bin/quillo-player" "$out/message.qlo" >"$out/player.log" 2>&1 &
  local player=$!
  pids+=($player)
  local wid
  wid=$(find_window '^QLO \[') || fail "no dialog window appeared"
  wait_closed "$out/desktop.raw" || fail "playback did not stop by itself"
  compare "$out/desktop.raw" || fail "the sound differs from quillo decode"
  xdotool mousemove --window "$wid" 120 20 key Escape
  wait_for 10 sh -c "! kill -0 $player 2>/dev/null" || fail "Escape did not close the dialog"
  wait "$player" || fail "player exit status $?"
}

# quillo play in a terminal: the whole message, then keys and no device.
run_terminal() {
  unset DISPLAY
  use_disk_audio terminal.raw
  expected_pcm
  local t0 t1
  t0=$(now_ms)
  "$tool" play "$sample" </dev/null >"$out/play.log" 2>"$out/play.err" || fail "quillo play failed: $(cat "$out/play.err")"
  t1=$(now_ms)
  echo "quillo play ran to the end in $((t1 - t0)) ms"
  head -n1 "$out/play.log" | grep -q '^QLO \[00:00:00\]-\[' || fail "first title: $(head -n1 "$out/play.log")"
  local last
  last=$(tail -n1 "$out/play.log")
  [[ "$last" =~ ^QLO\ \[([0-9:]+)\]-\[([0-9:]+)\]$ ]] && [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] ||
    fail "last title '$last' is not the last position"
  compare "$out/terminal.raw" || fail "the sound differs from quillo decode"

  # q quits at once, long before the end: the last title is far from it.
  use_disk_audio quit.raw
  (sleep 0.3; printf q) | "$tool" play "$sample" >"$out/quit.log" 2>&1 || fail "quillo play after q: status $?"
  last=$(grep '^QLO' "$out/quit.log" | tail -n1)
  [[ "$last" =~ ^QLO\ \[([0-9:]+)\]-\[([0-9:]+)\]$ ]] && [ "${BASH_REMATCH[1]}" != "${BASH_REMATCH[2]}" ] ||
    fail "q did not end quillo play before the end (last title '$last')"

  # No sound device: the message, status 3, at once.
  local status=0
  SDL_AUDIODRIVER=quillo-no-such-driver "$tool" play "$sample" </dev/null >"$out/nodevice.log" 2>&1 || status=$?
  [ "$status" = 3 ] || fail "no device: status $status, expected 3"
  grep -qx 'Can not open sound device.' "$out/nodevice.log" || fail "no device message: $(cat "$out/nodevice.log")"
}

case "$mode" in
  dialog) run_dialog ;;
  nodevice) run_nodevice ;;
  keys) run_keys ;;
  desktop) run_desktop "$@" ;;
  terminal) run_terminal ;;
  *) fail "unknown mode $mode" ;;
esac
echo "PASSED: $mode"
