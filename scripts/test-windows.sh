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
#
# The set-up (build, display, sound, Wine, helpers) is scripts/windows/setup.sh,
# the scenarios scripts/windows/scenarios.sh and make_scenario.sh, the
# comparison of a capture with the decoded message scripts/windows/capture.py.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh
. scripts/windows/setup.sh "$@"
. scripts/windows/scenarios.sh
. scripts/windows/make_scenario.sh

scenario_unit_tests
scenario_no_device
scenario_play_to_end
scenario_controls
scenario_make_windows_message
echo "== Windows stage passed ($(elapsed))"
