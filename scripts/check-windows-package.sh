#!/usr/bin/env bash
# The Windows release package: two clean builds of this commit in two build folders
# must give the same lumenfall.scr and the same zip, byte for byte; the zip holds the
# saver, the install note, both licences and SHA256SUMS, whose sums must match.
# Run from scripts/test.sh; usage: check-windows-package.sh [work folder]
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/package-check}
rm -rf "$work"
mkdir -p "$work"
jobs=$(nproc 2>/dev/null || echo 2)

for side in a b; do
  cmake --preset mingw -B "$work/$side" -DLUMENFALL_BUILD_WIN32_HELPERS=OFF >/dev/null
  cmake --build "$work/$side" -j "$jobs" --target lumenfall_scr >/dev/null
  (cd "$work/$side" && cpack --config CPackConfig.cmake >/dev/null)
done

fail() { echo "Windows package: $*" >&2; exit 1; }
zips=("$work"/a/package/lumenfall-*-windows-x86.zip)
[ -f "${zips[0]}" ] || fail "no lumenfall-<version>-windows-x86.zip in $work/a/package"
name=$(basename "${zips[0]}")
cmp "$work/a/win32/lumenfall.scr" "$work/b/win32/lumenfall.scr" ||
  fail "lumenfall.scr differs between two builds of one commit"
cmp "$work/a/package/$name" "$work/b/package/$name" ||
  fail "$name differs between two builds of one commit"
if grep -a -q -F -e "$PWD" -e "$work" "$work/a/win32/lumenfall.scr"; then
  fail "lumenfall.scr holds a build path"
fi

mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "../a/package/$name")
listing=$(unzip -Z1 "$work/a/package/$name" | tr '\n' ' ')
[ "$listing" = "INSTALL.txt LICENSE-font.txt LICENSE.txt SHA256SUMS lumenfall.scr " ] ||
  fail "unexpected entries or order: $listing"
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l < "$work/unpacked/SHA256SUMS")" -eq 4 ] || fail "SHA256SUMS does not cover every file"
cmp "$work/a/win32/lumenfall.scr" "$work/unpacked/lumenfall.scr" || fail "the zip holds another saver"
echo "Windows package: $name reproducible, complete and checksummed"
