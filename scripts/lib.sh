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
# The Windows saver: the cross compiler (its win32 thread model, whose runtime imports
# only what Windows 95 and 98 export), Wine on a virtual display, and the zip tools
# that check the release package.
WINDOWS_PACKAGES=(gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 mingw-w64-i686-dev
                  binutils-mingw-w64-i686 wine wine32:i386 fonts-wine zip unzip)
# Virtual displays, input and screen reading for the front-end tests; for the Wayland
# saver's, a headless sway (and weston, which has no layer shell), screenshots with grim,
# keys with wtype, the test user made with useradd (passwd) and entered with setpriv
# (util-linux).
DISPLAY_PACKAGES=(xvfb xserver-xephyr xscreensaver xdotool x11-utils xauth imagemagick dpkg-dev file
                  valgrind sway grim wtype weston passwd util-linux)
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
