#!/usr/bin/env bash
# Builds the quillo tool and the Linux player, then makes a self-playing
# voice message from a recording:
#
#   scripts/make-message.sh [RECORDING [OUTPUT [quillo make options...]]]
#
# RECORDING is any sound file (WAV, FLAC, Ogg, Opus, MP3, ...); without one
# the bundled sample speech is used (samples/hello-8k.g729, decoded to a WAV
# first; give '' for it to name an OUTPUT). OUTPUT defaults to
# build/default/samples/hello-message; a name ending in .exe makes a Windows
# message (build the Windows player first: cmake --preset windows && cmake
# --build --preset windows), .qlo a plain message, .html the self-playing
# page (build the web page first: cmake --preset web && cmake --build
# --preset web).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
ensure_packages scripts/packages.txt

echo "== build"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target quillo quillo-player \
  quillo-sample-message
build=build/default
tool=$build/tools/quillo
input=${1:-}
if [ -z "$input" ]; then
  input=$build/samples/hello.wav
  "$tool" decode --dry "$build/samples/hello.qlo" -o "$input"
  echo "== the sample's words: $(cat samples/hello.txt)"
fi
output=${2:-$build/samples/hello-message}
shift $(($# > 2 ? 2 : $#))
"$tool" make "$input" -o "$output" "$@"
case "$output" in
  *.html | *.HTML) echo "== open it in a browser: $output" ;;
  *) echo "== run it: $output" ;;
esac
