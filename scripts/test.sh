#!/usr/bin/env bash
# Every test: the cross builds of both Windows editions and their release packages, the
# native suite (with the X11 saver on Xvfb and the Windows saver under Wine: the 32-bit
# edition where this kernel runs 32-bit programs, else the 64-bit one), the Debian
# package built, checked, installed and removed, the web page in headless Chromium
# against the renderer, and the same native suite under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# --quick: the native build and its unit tests only, for the edit-build-test loop; no
# Windows build, no Wine, no display servers, no soak, valgrind or sanitizer runs. CI
# runs everything.
if [[ ${1:-} == --quick ]]; then
  ensure_packages "${BUILD_PACKAGES[@]}"
  cmake --preset debug >/dev/null
  cmake --build --preset debug -j "$(jobs)"
  exec ctest --preset debug -j "$(jobs)" -LE 'wine|soak|valgrind|hosted|web|package'
elif [[ $# -gt 0 ]]; then
  echo "usage: scripts/test.sh [--quick]" >&2
  exit 2
fi

ensure_packages "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${DISPLAY_PACKAGES[@]}" \
  "${DEBIAN_PACKAGES[@]}"

for preset in mingw mingw64; do
  echo "== Cross build for Windows: $preset"
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j "$(jobs)"
done

echo "== The Windows release packages: contents, checksums, two builds byte for byte"
bash scripts/check-windows-package.sh

echo "== Native debug build and the whole suite; the Windows saver under Wine: $(bash scripts/wine-edition.sh) edition"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(jobs)"
ctest --preset debug -j "$(jobs)" -LE 'web|package'

echo "== The Debian package: built, lintian, installed, the installed program's tests, removed"
bash scripts/build-deb.sh
bash scripts/check-debian-package.sh

echo "== Web page: the core in WebAssembly, checked in headless Chromium"
ensure_web_tools "${WEB_TEST_PACKAGES[@]}"
cmake --preset web >/dev/null
cmake --build --preset web -j "$(jobs)"
ctest --preset debug -L web

echo "== Native suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(jobs)"
# The Wine scenarios drive the Windows program, the soak and valgrind runs need plain
# binaries, the web checks compare the page with the plain renderer and the package
# checks test the package's own build; they ran above and gain nothing here.
ctest --preset asan -j "$(jobs)" -LE 'wine|soak|valgrind|web|package'
