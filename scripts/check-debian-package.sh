#!/usr/bin/env bash
# The Debian package that scripts/build-deb.sh made, as its users get it: passed by
# lintian without an error or a warning, installed with apt, `lumenfall` on the PATH
# with the package's version, the tests of the package and of the installed program
# (ctest -L package: its contents, xscreensaver's settings window, the README's Wayland
# lines), then removed without a trace. Run from scripts/test.sh after the debug build,
# as root (apt); the machine ends without the package.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "Debian package: $*" >&2; exit 1; }

debs=(build/deb/lumenfall_*.deb)
[ -f "${debs[0]}" ] || fail "no build/deb/lumenfall_*.deb (bash scripts/build-deb.sh makes it)"
lintian --fail-on error,warning build/deb/lumenfall_*.changes || fail "lintian reports the above"

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 -y -qq)
trap '"${apt[@]}" remove lumenfall >/dev/null || true' EXIT
"${apt[@]}" install "./${debs[0]}" >/dev/null
[ "$(command -v lumenfall)" = /usr/bin/lumenfall ] || fail "lumenfall is not on the PATH"
version=$(dpkg-query -W -f='${Version}' lumenfall)
says=$(lumenfall --version)
[ "$says" = "lumenfall $version" ] || fail "lumenfall --version says '$says', the package is $version"
ctest --preset debug -L package

files=$(dpkg-query -L lumenfall)
"${apt[@]}" remove lumenfall >/dev/null
trap - EXIT
state=$(dpkg-query -W -f='${db:Status-Status}' lumenfall 2>/dev/null || true)
case $state in "" | not-installed) ;; *) fail "removed, but dpkg keeps it as $state" ;; esac
left=()
while IFS= read -r path; do
  [ "$path" = /. ] && continue
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder that other packages still hold stays.
  [ -d "$path" ] && [ ! -L "$path" ] && dpkg-query -S "$path" >/dev/null 2>&1 && continue
  left+=("$path")
done <<< "$files"
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"
echo "Debian package: ${debs[0]##*/} lintian clean, lumenfall $version on the PATH, removed without a trace"
