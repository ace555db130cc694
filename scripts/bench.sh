#!/usr/bin/env bash
# Decoder and encoder speed: instructions per frame (valgrind's callgrind
# instruction counter, start-up subtracted) and frames per second, for each
# rate on pseudo-random frames and conformance speech (decoding) and on the
# conformance inputs (encoding).
#
#   scripts/bench.sh [-n FRAMES] [-s SECONDS] [STREAM ...]
#
# Instructions per frame = (Ir of 2N frames - Ir of N frames) / N, which
# leaves out everything the program does once (start-up, reading or
# generating the stream). Frames per second come from a timed run of the
# release build and vary with the machine and its load; the instruction
# counts do not.
#
# QUILLO_BENCH_ARGS adds arguments to every quillo_bench run (for example
# "--reference" to measure the exact reference paths).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

frames=400
seconds=2
while getopts "n:s:" opt; do
  case $opt in
    n) frames=$OPTARG ;;
    s) seconds=$OPTARG ;;
    *) echo "usage: $0 [-n FRAMES] [-s SECONDS] [STREAM ...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
streams=("$@")
[ ${#streams[@]} -gt 0 ] ||
  streams=(random64 random80 random118 speech64 speech80 speech118 encode64 encode80 encode118)

ensure_packages <(printf 'cmake\ng++\nmake\nvalgrind\n')

cmake --preset default >/dev/null
cmake --build --preset default --target quillo_bench -j 2 >/dev/null
bench=build/default/bench/quillo_bench
extra=(${QUILLO_BENCH_ARGS:-})

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Instructions executed by one run of the benchmark over $2 frames of $1.
instructions() {
  local out="$work/callgrind.out"
  valgrind --tool=callgrind --callgrind-out-file="$out" "$bench" "$1" --frames "$2" \
    "${extra[@]}" >/dev/null 2>"$work/valgrind.log"
  awk '/^(summary|totals):/ { print $2; exit }' "$out"
}

printf '%-10s %16s %14s\n' stream instr/frame frames/s
for s in "${streams[@]}"; do
  a=$(instructions "$s" "$frames")
  b=$(instructions "$s" $((2 * frames)))
  per_frame=$(((b - a) / frames))
  fps=$("$bench" "$s" --seconds "$seconds" "${extra[@]}" | sed -E 's/.* ([0-9]+) frames\/s.*/\1/')
  printf '%-10s %16d %14d\n' "$s" "$per_frame" "$fps"
done
