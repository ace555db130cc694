#!/usr/bin/env bash
# The package stage of the test command: builds the Debian package from the
# default build (with the Windows player when its cross build exists, and
# the self-playing page's template when the web build made one),
# installs it into a scratch folder and makes, inspects and decodes messages
# with the installed tool, which must find its players beside itself and
# give the same message as the build tree's tool.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build/default
fail() {
  echo "FAIL: package: $*"
  exit 1
}

windows=
for candidate in build/windows/platform/win32/Quillo.exe build/windows-tests/platform/win32/Quillo.exe; do
  [ -f "$candidate" ] && windows=$root/$candidate && break
done
echo "== package${windows:+ with the Windows player $windows}"
[ -n "$windows" ] || echo "== (no Windows player built: the package has only the Linux player)"
page=
[ -f build/web/site/message.html ] && page=$root/build/web/site/message.html
[ -n "$page" ] || echo "== (no web build: the package has no self-playing page's template)"
cmake --preset default -DQUILLO_WINDOWS_PLAYER="${windows:-none}" >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target quillo quillo-player \
  quillo-sample-message
rm -f "$build"/quillo_*_amd64.deb
(cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; fail "cpack"; }
deb=$(ls "$build"/quillo_*_amd64.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsndfile1 libsoxr0 libnettle8 libsdl2-2.0-0; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

scratch=$(mktemp -d /tmp/quillo-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
installed=$scratch/root/usr/bin/quillo
[ -x "$installed" ] || fail "no usr/bin/quillo"
[ -f "$scratch/root/usr/share/man/man1/quillo.1" ] || fail "no manual page"
"$installed" --version | grep -q "^quillo " || fail "quillo --version"

"$build/tools/quillo" decode --dry "$build/samples/hello.qlo" -o "$scratch/hello.wav"
names="hello"
[ -n "$windows" ] && names="$names hello.exe"
for name in $names; do
  env -u QUILLO_PLAYER_DIR "$installed" make --effect hall --mix 30 "$scratch/hello.wav" \
    -o "$scratch/$name" >/dev/null || fail "installed quillo make $name"
  "$installed" info "$scratch/$name" >"$scratch/info.txt" || fail "installed quillo info $name"
  grep -q "^program:  the .* player of quillo" "$scratch/info.txt" || {
    cat "$scratch/info.txt"
    fail "the installed tool does not know its own player in $name"
  }
  "$installed" decode "$scratch/$name" -o "$scratch/installed.raw"
  "$build/tools/quillo" decode "$scratch/$name" -o "$scratch/built.raw"
  cmp -s "$scratch/installed.raw" "$scratch/built.raw" || fail "decodes of $name differ"
done
[ -x "$scratch/hello" ] || fail "the Linux message is not executable"
if [ -n "$page" ]; then
  cmp -s "$scratch/root/usr/share/quillo/message.html" "$page" ||
    fail "the package's message.html is not the web build's"
  env -u QUILLO_PLAYER_DIR "$installed" make "$scratch/hello.wav" -o "$scratch/hello.html" >/dev/null ||
    fail "installed quillo make hello.html"
  env -u QUILLO_PLAYER_DIR "$build/tools/quillo" make "$scratch/hello.wav" -o "$scratch/built.html" \
    >/dev/null
  cmp -s "$scratch/hello.html" "$scratch/built.html" || fail "the installed and the built tool's pages differ"
  names="$names hello.html"
fi
echo "== package $(basename "$deb"): $(stat -c %s "$deb") bytes; installed tool made: $names"
