# Shared by the run and test scripts: package installation and small helpers.
# Sourced, not run.

# Debian packages, installed with apt when missing. Multi-arch names (wine32:i386)
# turn on the architecture first.
ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
  fi
  # Another installer may hold the package lock for a while: wait for it, not fail.
  local wait_lock=(-o DPkg::Lock::Timeout=900)
  "${as_root[@]}" apt-get "${wait_lock[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get "${wait_lock[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
}

# What every native build needs.
BUILD_PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
                libpng-dev libgif-dev libfreetype-dev fonts-dejavu-core libx11-dev libxext-dev libxtst-dev
                libxrandr-dev libxinerama-dev libxrender-dev libwayland-dev libwayland-bin wayland-protocols)
# The Windows saver: the cross compilers of both editions (their win32 thread model,
# whose runtime imports only what the oldest Windows of each edition exports), the
# 64-bit Wine with the X libraries its X11 driver loads at run time (several monitors
# through Xinerama and RandR, ...), and the zip tools that check the release packages.
WINDOWS_PACKAGES=(gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 mingw-w64-i686-dev
                  binutils-mingw-w64-i686 gcc-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-win32
                  mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 wine wine64 fonts-wine zip unzip)
WINE_X_LIBRARIES=(libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1
                  libxxf86vm1)
WINDOWS_PACKAGES+=("${WINE_X_LIBRARIES[@]}")
# Where this kernel runs 32-bit programs (scripts/wine-edition.sh), the 32-bit Wine and
# its own i386 X libraries run the shipped 32-bit edition; elsewhere they could not run.
if LUMENFALL_WINE_EDITION="" bash "$(dirname "${BASH_SOURCE[0]}")/wine-edition.sh" | grep -q '^x86 '; then
  WINDOWS_PACKAGES+=(wine32:i386 "${WINE_X_LIBRARIES[@]/%/:i386}")
fi
# Virtual displays, input and screen reading for the front-end tests; for the Wayland
# saver's, a headless sway (and weston, which has no layer shell), screenshots with grim,
# keys with wtype, the idle daemon swayidle, the test user made with useradd (passwd) and
# entered with setpriv (util-linux).
DISPLAY_PACKAGES=(xvfb xserver-xephyr xscreensaver xdotool x11-utils xauth imagemagick
                  valgrind sway swayidle grim wtype weston passwd util-linux)
# The Debian package of the Linux saver: dpkg-buildpackage with debhelper, and lintian
# for its checks.
DEBIAN_PACKAGES=(dpkg-dev debhelper lintian)
# The web page: Emscripten (its JavaScript optimiser needs Debian's acorn) and the
# server of run.sh --web; its checks drive Debian's Chromium from Node.
WEB_PACKAGES=(cmake make emscripten node-acorn python3)
WEB_TEST_PACKAGES=(chromium nodejs)

# The web page's build and its checks' npm packages, from the committed lock file.
# npm comes with some Node builds; Debian's is installed only when there is none.
ensure_web_tools() {
  ensure_packages "${WEB_PACKAGES[@]}" "$@"
  if [ $# -gt 0 ]; then
    command -v npm >/dev/null 2>&1 || ensure_packages npm
    [ -d tests/platform/web/node_modules/puppeteer-core ] ||
      (cd tests/platform/web && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

jobs() { nproc 2>/dev/null || echo 2; }
