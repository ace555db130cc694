# Sourced by scripts/test-windows.sh once Wine and the capture are ready: a
# Windows message made by `quillo make` from a 16 kHz stereo recording plays
# to its end, and the capture is two silent buffers followed, bit for bit,
# by `quillo decode` of the same message. Uses the stage's helpers and
# variables ($tool, $player, $frames, $work, $out, $capture, $buffer_bytes,
# $root).
scenario_make_windows_message() {
  local t0
  t0=$(date +%s)
  "$tool" decode --frames 8 "$frames" -o "$work/speech8k.raw" >/dev/null
  # 3 s of the sample speech as a 16 kHz stereo WAV (each sample twice).
  python3 "$root/scripts/windows/stereo_wav.py" "$work/speech8k.raw" "$work/recording.wav"
  "$tool" make --player "$player" --effect tunnel --mix 60 "$work/recording.wav" \
    -o "$work/made.exe" >"$out/make.txt" || fail "quillo make"
  "$tool" info "$work/made.exe" | grep -q '^program:  the Windows player' ||
    fail "quillo info does not recognise the Windows player of a made message"
  "$tool" decode "$work/made.exe" -o "$work/made.raw" >/dev/null
  rm -f "$capture"
  start_player made
  local final
  final=$(title_at "$work/made.exe" 6)
  wait_for 20 title_is "$final" || fail "made message: title never reached \"$final\""
  wait_for 10 capture_settled || fail "made message: capture does not end"
  cp "$capture" "$out/made-capture.raw"
  compare_capture whole "$work/made.raw" || fail "made message: captured PCM differs"
  key Escape
  wait_for 10 player_exited || fail "Escape does not end the made message"
  wait "$player_pid" || true
  echo "== quillo make's Windows message played as decoded ($(($(date +%s) - t0)) s): $(cat "$out/make.txt")"
}
