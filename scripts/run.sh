#!/usr/bin/env bash
# The main job: builds what it needs, then opens the saver in a window on the Wayland
# compositor that WAYLAND_DISPLAY names, else on the X display that DISPLAY names, or
# renders a few seconds of each text set to animated previews when there is neither.
# With --web: builds the web page and serves it on 127.0.0.1 (port 8000, or
# LUMENFALL_WEB_PORT), printing its address.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

if [ "${1:-}" = "--web" ]; then
  ensure_web_tools
  cmake --preset web >/dev/null
  cmake --build --preset web -j "$(jobs)"
  port="${LUMENFALL_WEB_PORT:-8000}"
  echo "The web page: http://127.0.0.1:$port/ (Ctrl+C to stop)"
  exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web/site
fi

ensure_packages "${BUILD_PACKAGES[@]}" x11-utils
cmake --preset release >/dev/null
targets=(lumenfall-render)
[ -f platform/x11/CMakeLists.txt ] && targets+=(lumenfall_x11)
cmake --build --preset release -j "$(jobs)" --target "${targets[@]}"

# The compositor's socket that WAYLAND_DISPLAY names (a name in XDG_RUNTIME_DIR or a path).
wayland_socket() {
  local name=${WAYLAND_DISPLAY:-}
  [ -n "$name" ] || return 1
  [[ $name == /* ]] || name=${XDG_RUNTIME_DIR:-}/$name
  [ -S "$name" ]
}

bin=build/release/platform
if [ -x "$bin/x11/lumenfall" ] && wayland_socket; then
  echo "Opening Lumenfall in a window on Wayland ($WAYLAND_DISPLAY; close it or press Ctrl+C to stop)."
  exec "$bin/x11/lumenfall" --wayland --window "$@"
fi
if [ -n "${DISPLAY:-}" ] && [ -x "$bin/x11/lumenfall" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Opening Lumenfall in a window on $DISPLAY (close it or press Ctrl+C to stop)."
  exec "$bin/x11/lumenfall" --x11 --window "$@"
fi

out=build/output
mkdir -p "$out"
for set in malachi-red deep-blue; do
  "$bin/render/lumenfall-render" --text-set "$set" --frames 300 --every 2 --size 320x240 \
    --out "$out/$set.gif" "$@"
  echo "Rendered $out/$set.gif"
done
echo "No display here: the previews above show 12 seconds of each text set."
