#!/usr/bin/env bash
# Builds Quillo and plays the bundled sample message: in the player's dialog
# where a display exists, in the terminal (quillo play) where none does.
# Without a sound device it says so, writes the decoded sample to a WAV file
# instead and names it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
ensure_packages scripts/packages.txt

echo "== build"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target quillo quillo-sample-message
build=build/default
tool=$build/tools/quillo
sample=$build/samples/quillo-sample
wav=$build/samples/hello.wav

echo "== the sample's words: $(cat samples/hello.txt)"
if [ -n "${DISPLAY:-}" ] && [ -x "$sample" ]; then
  echo "== playing $sample (close the dialog to end)"
  status=0
  "$sample" || status=$?
  [ "$status" -eq 0 ] && exit 0
  echo "== the dialog could not be shown; playing in the terminal instead"
fi

status=0
"$tool" play "$sample" || status=$?
if [ "$status" -eq 3 ]; then
  # No sound device: the message was printed; keep the sound in a file.
  "$tool" decode "$sample" -o "$wav"
  echo "Wrote the decoded sample to $wav"
  exit 0
fi
exit "$status"
