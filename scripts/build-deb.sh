#!/usr/bin/env bash
# The Debian package of the Linux saver, made the Debian way: dpkg-buildpackage with the
# rules in debian/, run in a copy of this checkout under build/deb/, so that the package
# (build/deb/lumenfall_<version>_<arch>.deb), its .buildinfo and .changes land there and
# not beside the clone.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${DEBIAN_PACKAGES[@]}"

out=build/deb
rm -rf "$out"
mkdir -p "$out/source"
# The checkout's files as they are now, committed or not, without the ignored ones.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' name; do
    if [ -e "$name" ] || [ -L "$name" ]; then printf '%s\0' "$name"; fi
  done |
  tar --null -T - -cf - | tar -xf - -C "$out/source"
(cd "$out/source" && dpkg-buildpackage -b -us -uc -j"$(jobs)")
rm -rf "$out/source"
echo "Built $(ls "$out"/lumenfall_*.deb)"
