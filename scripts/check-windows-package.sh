#!/usr/bin/env bash
# The Windows release packages of both editions (x86, x64): two clean builds of this
# commit in two build folders must give the same lumenfall.scr and the same zip, byte
# for byte; each zip holds the saver, the install note, both licences and SHA256SUMS,
# whose sums must match.
# Run from scripts/test.sh; usage: check-windows-package.sh [work folder]
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/package-check}
rm -rf "$work"
mkdir -p "$work"
jobs=$(nproc 2>/dev/null || echo 2)

# check EDITION PRESET: both builds of one edition, their saver and zip.
check() {
  local edition=$1 preset=$2 dir=$work/$1
  local side
  for side in a b; do
    cmake --preset "$preset" -B "$dir/$side" -DLUMENFALL_BUILD_WIN32_HELPERS=OFF >/dev/null
    cmake --build "$dir/$side" -j "$jobs" --target lumenfall_scr >/dev/null
    (cd "$dir/$side" && cpack --config CPackConfig.cmake >/dev/null)
  done

  local zips=("$dir"/a/package/lumenfall-*-windows-"$edition".zip)
  [ -f "${zips[0]}" ] || fail "no lumenfall-<version>-windows-$edition.zip in $dir/a/package"
  local name
  name=$(basename "${zips[0]}")
  cmp "$dir/a/win32/lumenfall.scr" "$dir/b/win32/lumenfall.scr" ||
    fail "the $edition lumenfall.scr differs between two builds of one commit"
  cmp "$dir/a/package/$name" "$dir/b/package/$name" ||
    fail "$name differs between two builds of one commit"
  if grep -a -q -F -e "$PWD" -e "$work" "$dir/a/win32/lumenfall.scr"; then
    fail "the $edition lumenfall.scr holds a build path"
  fi

  mkdir -p "$dir/unpacked"
  (cd "$dir/unpacked" && cmake -E tar xf "../a/package/$name")
  local listing
  listing=$(unzip -Z1 "$dir/a/package/$name" | tr '\n' ' ')
  [ "$listing" = "INSTALL.txt LICENSE-font.txt LICENSE.txt SHA256SUMS lumenfall.scr " ] ||
    fail "$name: unexpected entries or order: $listing"
  (cd "$dir/unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "$name: SHA256SUMS does not match"
  [ "$(wc -l < "$dir/unpacked/SHA256SUMS")" -eq 4 ] || fail "$name: SHA256SUMS does not cover every file"
  cmp "$dir/a/win32/lumenfall.scr" "$dir/unpacked/lumenfall.scr" || fail "$name holds another saver"
  echo "Windows package: $name reproducible, complete and checksummed"
}

fail() { echo "Windows package: $*" >&2; exit 1; }
check x86 mingw
check x64 mingw64
