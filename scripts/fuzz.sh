#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, one after the
# other, built by the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer).
#
#   scripts/fuzz.sh SECONDS [TARGET...]     e.g. scripts/fuzz.sh 10, scripts/fuzz.sh 600 message
#
# Each target starts from its seeds in fuzz/corpus/<target>/ and keeps what it
# learns in build/fuzz/corpus/<target>/ (outside the repository), so a later
# run goes on from there. A finding stops the run with a non-zero status; the
# input is saved as build/fuzz/findings/<target>-crash-... and replays with
#   build/fuzz/fuzz/<target>_fuzz build/fuzz/findings/<file>
# Once fixed, copy it into fuzz/corpus/<target>/ under a name that says what
# the fault was: every build replays those files as a test.
#
# QUILLO_FUZZ_JOBS=2 runs two targets at a time. QUILLO_FUZZ_TRAP_DIVISION=1
# makes a division error of the fixed-point operators count as a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
ensure_packages scripts/packages.txt

mkdir -p build
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j 2; } >build/fuzz-build.log 2>&1; then
  tail -40 build/fuzz-build.log
  echo "fuzz: the build failed (build/fuzz-build.log)" >&2
  exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" _fuzz.cpp)
    targets+=("$name")
  done
fi

work=build/fuzz
mkdir -p "$work/findings"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"

# run_target NAME: fuzzes one target; the summary line goes to the log.
run_target() {
  local name=$1 exe="$work/fuzz/${1}_fuzz" corpus="$work/corpus/$1" log="$work/findings/$1.log"
  if [ ! -x "$exe" ]; then
    echo "no fuzz target '$name'" >&2
    return 2
  fi
  mkdir -p "$corpus"
  # Inputs long enough for a few blocks (a few hundred frames), short enough
  # to keep many executions per second.
  local max_len=4096
  case $name in
    frame_decoder) max_len=1024 ;;
    block_decoder | message) max_len=2600 ;;
  esac
  # An input may run for at most 10 s and use at most 1 GiB: more is a hang
  # or runaway allocation, and counts as a finding.
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -max_len="$max_len" \
      -print_final_stats=1 -artifact_prefix="$work/findings/$name-" \
      "$corpus" "fuzz/corpus/$name" >"$log" 2>&1; then
    local runs rate
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz $name: ${seconds}s, ${runs:-?} runs, ${rate:-?}/s, no finding"
  else
    echo "fuzz $name: FINDING (log: $log)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|.*runtime error)' "$log" | head -5 || true
    ls -t "$work/findings/$name-"* 2>/dev/null | grep -v '\.log$' | head -1
    return 1
  fi
}

jobs=${QUILLO_FUZZ_JOBS:-1}
status=0
pids=()
for name in "${targets[@]}"; do
  run_target "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
