#!/usr/bin/env bash
# The web stage of the test command: builds the site (the web preset, with
# Debian's emscripten) and runs the page's tests in Debian's Chromium,
# headless, driven by playwright-core from web/tests/package-lock.json,
# against the site served on 127.0.0.1; then a few in Debian's Firefox ESR,
# driven by puppeteer-core, with a private PulseAudio for its sound.
#
#   scripts/test-web.sh [QUILLO_TOOL]
#
# QUILLO_TOOL is the host build of the quillo tool (default
# build/default/tools/quillo, built when missing); it makes the test messages
# and what the page must equal. Skips loudly when emscripten, Chromium, Node.js
# or the npm packages cannot be had; QUILLO_REQUIRE_WEB=1 turns the skip into
# a failure. Screenshots, figures and test messages stay in
# build/web/test-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib.sh

skip() { skip_stage web QUILLO_REQUIRE_WEB "$*"; }
ensure_packages scripts/packages-web.txt || skip "emscripten and Chromium packages are missing"
for program in emcc node npm /usr/bin/chromium /usr/bin/firefox-esr pulseaudio; do
  command -v "$program" >/dev/null || skip "$program not found"
done

jobs=$(nproc 2>/dev/null || echo 2)
tool=$(realpath -m "${1:-$root/build/default/tools/quillo}")
if [ ! -x "$tool" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs" --target quillo
fi
echo "== build: web"
cmake --preset web >/dev/null
cmake --build --preset web -j "$jobs"
(cd web/tests && npm ci --no-audit --no-fund --loglevel=error) || skip "npm ci failed (no registry?)"

echo "== test: web (Chromium, headless)"
export QUILLO_SITE=$root/build/web/site QUILLO_TOOL=$tool QUILLO_OUT=$root/build/web/test-output
export QUILLO_SAMPLE=$root/samples/hello-8k.g729
(cd web/tests && node --test --test-reporter=spec page.test.mjs)
echo "== test: web (Firefox ESR, headless)"
(cd web/tests && node --test --test-reporter=spec firefox.test.mjs)
echo "== web: site $(cd build/web/site && cat index.html *.js *.css *.wasm | gzip -9 | wc -c) bytes compressed (HTML, JS, CSS, WASM)"
