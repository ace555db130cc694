#!/usr/bin/env bash
# Builds everything and runs every test: the release build, then the same
# tests under AddressSanitizer + UndefinedBehaviorSanitizer, then the Windows
# player and its tests under Wine (skipped loudly when MinGW-w64 and Wine
# cannot be installed), then the Debian package, installed into a scratch
# folder and used, then the web page in headless Chromium (skipped loudly
# when emscripten and Chromium cannot be installed), then a short run of
# every fuzz target (QUILLO_FUZZ_SECONDS each, 10 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
ensure_packages scripts/packages.txt

jobs=$(nproc 2>/dev/null || echo 2)
for preset in default asan; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== test: $preset"
  ctest --preset "$preset" -j "$jobs"
done
scripts/test-windows.sh build/default/tools/quillo
scripts/test-package.sh
scripts/test-web.sh build/default/tools/quillo
echo "== fuzz"
scripts/fuzz.sh "${QUILLO_FUZZ_SECONDS:-10}"
echo "== all tests passed"
