# Sourced by scripts/test-windows.sh after scripts/windows/setup.sh: the
# scenarios of the Windows stage, each a function, run in this order.

# The unit tests built for Windows, each under Wine.
scenario_unit_tests() {
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
}

# 1. No sound device: the message box, and the dialog stays usable.
scenario_no_device() {
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
  wait_for 5 title_is "$(title_at "$work/short.exe" 0)" || fail "no dialog after the message box"
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
}

# 2. Playback to the end, captured: two silent buffers, then exactly the PCM
#    that quillo decode gives for the same message. The message plays where
#    it was made, then copied into folders and under names with characters
#    outside the ANSI code page, and under a path longer than MAX_PATH: each
#    copy must find its own file, show the whole length and play it.
scenario_play_to_end() {
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
  [ "$(windows_length "${places[-1]}")" -gt 260 ] || fail "the long path is not longer than MAX_PATH"
  set_audio alsa
  "$tool" decode "$work/short.exe" -o "$work/short.raw" >/dev/null
  final=$(title_at "$work/short.exe" 6)
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
    compare_capture whole "$work/short.raw" || fail "$place: captured PCM differs"
    key Escape
    wait_for 10 player_exited || fail "$place: Escape does not end the player"
    wait "$player_pid" || true
    echo "== played to the end, title \"$final\": $(winpath "$place")" \
      "($(windows_length "$place") characters, $(($(date +%s) - t0)) s)"
  done
}

# 3. Stop, Play, Enter and Escape, with real clicks and keys, on the whole
#    sample (26 blocks, 13 s).
scenario_controls() {
  # The Windows sample as the build packed it: the whole sample speech.
  t0=$(date +%s)
  "$tool" decode "$sample" -o "$work/long.raw" >/dev/null
  rm -f "$capture"
  start_player long "$sample"
  wait_for 15 title_is "$(title_at "$sample" 4)" || fail "no progress to \"$(title_at "$sample" 4)\""
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
  compare_capture paused "$work/long.raw" || fail "captured PCM differs"
  import -window root "$out/paused.png"
  [ "$(control image 1019)" != "$playing_image" ] || fail "Play keeps its playing image after Stop"
  paused=$(dialog_title)
  size=$(capture_size)
  sleep 1.2 # more than two buffers' time
  [ "$(dialog_title)" = "$paused" ] || fail "the title moves while paused"
  [ "$(capture_size)" -eq "$size" ] || fail "sound goes on while paused"

  click 1020 # rewind
  wait_for 5 title_is "$(title_at "$sample" 0)" || fail "a second Stop does not rewind"
  focus_off_buttons

  # A later playback starts from the decoder memories the earlier one left
  # (as the player is meant to), so only the silent start is known here.
  click 1019 # play from the start
  wait_for 5 play_enabled 0 || fail "Play does not start"
  focus_off_buttons
  wait_for 10 title_is "$(title_at "$sample" 3)" || fail "no progress after Play"
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
}
