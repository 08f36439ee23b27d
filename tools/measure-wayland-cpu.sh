#!/usr/bin/env bash
# Measures what the saver costs as a Wayland client, side by side with the X11 saver in
# the same run: processor time as a share of one core for the client and for the
# compositor that shows its pictures, on a private headless sway (pixman renderer) with
# one full-HD output; then tools/measure-saver-cpu.sh for the X11 saver on Xvfb.
#
#   tools/measure-wayland-cpu.sh PATH/TO/lumenfall
#
# Environment: SECONDS_TO_MEASURE (20), WARMUP_SECONDS (3), MODE_LIST ("--fullscreen
# --background"), SIZE (1920x1080). Sway refuses root: as root the compositor and the
# client run as the user lumenfall-test (made when missing). Exits non-zero when a tool
# is missing or the saver dies early.
set -euo pipefail

program=${1:-}
measure=${SECONDS_TO_MEASURE:-20}
warmup=${WARMUP_SECONDS:-3}
modes=${MODE_LIST:-"--fullscreen --background"}
size=${SIZE:-1920x1080}
root=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "measure-wayland-cpu: $*" >&2; exit 1; }

[[ -x $program ]] || die "usage: $0 PATH/TO/lumenfall"
for tool in sway swaymsg; do
  command -v "$tool" >/dev/null || die "$tool is not installed (apt-get install sway)"
done

work=$(mktemp -d /tmp/lumenfall-measure.XXXXXX)
chmod 755 "$work"
mkdir -m 700 "$work/run"
cp "$program" "$work/lumenfall"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  id lumenfall-test >/dev/null 2>&1 ||
    useradd --system --no-create-home --shell /usr/sbin/nologin lumenfall-test
  chown lumenfall-test "$work/run"
  as_user=(setpriv --reuid=lumenfall-test --regid=lumenfall-test --clear-groups)
fi
printf 'output HEADLESS-1 mode %s position 0 0\nxwayland disable\nseat seat0 hide_cursor 100\n' \
  "$size" > "$work/config"
chmod 644 "$work/config"

sway_pid=""
client_pid=""
cleanup() {
  for pid in $client_pid $sway_pid; do
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

env -u DISPLAY -u WAYLAND_DISPLAY WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_HEADLESS_OUTPUTS=1 WLR_LIBINPUT_NO_DEVICES=1 XDG_RUNTIME_DIR="$work/run" \
  "${as_user[@]}" sway -c "$work/config" >"$work/sway.log" 2>&1 &
sway_pid=$!
socket=""
for _ in $(seq 100); do
  socket=$(cd "$work/run" && ls wayland-[0-9]* 2>/dev/null | grep -v lock | head -1 || true)
  [[ -n $socket ]] && break
  kill -0 "$sway_pid" 2>/dev/null || die "sway did not start: $(tail -3 "$work/sway.log")"
  sleep 0.1
done
[[ -n $socket ]] || die "sway did not come up within 10 s"
sleep 0.5

ticks_per_second=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
share() {  # ticks, nanoseconds -> percent of one core
  awk -v t="$1" -v hz="$ticks_per_second" -v ns="$2" 'BEGIN { printf "%.2f", 100 * t / hz / (ns / 1e9) }'
}

# The compositor alone, with nothing of ours on it: its own cost at rest.
before=$(ticks "$sway_pid"); start_ns=$(date +%s%N)
sleep "$warmup"
idle=$(share $(( $(ticks "$sway_pid") - before )) $(( $(date +%s%N) - start_ns )))
echo "sway alone: ${idle}% of one core (headless, pixman, one $size output)"

for mode in $modes; do
  env -u DISPLAY XDG_RUNTIME_DIR="$work/run" WAYLAND_DISPLAY="$socket" \
    "${as_user[@]}" "$work/lumenfall" "$mode" &
  client_pid=$!
  sleep "$warmup"
  kill -0 "$client_pid" 2>/dev/null || die "the saver ($mode) ended during the warm-up"
  client_before=$(ticks "$client_pid"); sway_before=$(ticks "$sway_pid"); start_ns=$(date +%s%N)
  sleep "$measure"
  kill -0 "$client_pid" 2>/dev/null || die "the saver ($mode) ended while it was measured"
  elapsed=$(( $(date +%s%N) - start_ns ))
  client=$(share $(( $(ticks "$client_pid") - client_before )) "$elapsed")
  compositor=$(share $(( $(ticks "$sway_pid") - sway_before )) "$elapsed")
  rss=$(status_kb "$client_pid" VmRSS)
  echo "lumenfall $mode (Wayland, viewporter): client ${client}% of one core, $(( rss / 1024 )) MB;" \
       "sway ${compositor}% (scaling and composing)"
  kill "$client_pid"
  wait "$client_pid" 2>/dev/null || true
  client_pid=""
done

echo "--- the X11 saver in the same run:"
env -u WAYLAND_DISPLAY SECONDS_TO_MEASURE="$measure" WARMUP_SECONDS="$warmup" \
  SCREEN="${size}x24" "$root/tools/measure-saver-cpu.sh" native "$program"
