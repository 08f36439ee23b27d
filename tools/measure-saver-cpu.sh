#!/usr/bin/env bash
# Measures what a running saver costs: processor time as a share of one core and
# resident memory, over a fixed time on a private full-HD Xvfb display.
#
#   tools/measure-saver-cpu.sh native PATH/TO/lumenfall      # runs: lumenfall --fullscreen
#   tools/measure-saver-cpu.sh wine   PATH/TO/lumenfall.scr  # runs: wine lumenfall.scr /s
#
# Environment: SECONDS_TO_MEASURE (20), WARMUP_SECONDS (3), SCREEN (1920x1080x24),
# SAVER_ARGS (extra options for the native saver), WINE_PREFIX_DIR (the private wine
# prefix, default build/perf-wine/prefix; created on first use).
# Prints one line per process: the saver, and the X server and wineserver that work
# for it. Exits non-zero when a tool is missing or the saver dies early.
set -euo pipefail

mode=${1:-}
program=${2:-}
measure=${SECONDS_TO_MEASURE:-20}
warmup=${WARMUP_SECONDS:-3}
screen=${SCREEN:-1920x1080x24}
root=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "measure-saver-cpu: $*" >&2; exit 1; }

[[ $mode == native || $mode == wine ]] || die "usage: $0 native|wine PROGRAM"
[[ -x $program || ( $mode == wine && -f $program ) ]] || die "no program at '$program'"
command -v Xvfb >/dev/null || die "Xvfb is not installed (apt-get install xvfb)"
if [[ $mode == wine ]]; then
  command -v wine >/dev/null || die "wine is not installed"
  command -v wineserver >/dev/null || die "wineserver is not installed"
fi

ticks_per_second=$(getconf CLK_TCK)
xvfb_pid=""
saver_pid=""
prefix=""

cleanup() {
  if [[ -n $saver_pid ]] && kill -0 "$saver_pid" 2>/dev/null; then
    kill "$saver_pid" 2>/dev/null || true
    for _ in $(seq 20); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$saver_pid" 2>/dev/null || true
  fi
  if [[ -n $prefix ]]; then WINEPREFIX=$prefix timeout 20 wineserver -k 2>/dev/null || true; fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# A display number nobody uses.
display=""
for n in $(seq 140 199); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=$n; break; fi
done
[[ -n $display ]] || die "no free display number between 140 and 199"

Xvfb ":$display" -screen 0 "$screen" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -e /tmp/.X11-unix/X$display ]] && break
  kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb :$display did not start"
  sleep 0.1
done
[[ -e /tmp/.X11-unix/X$display ]] || die "Xvfb :$display did not come up within 10 s"
export DISPLAY=":$display"

# user + system ticks of a process (fields 14 and 15 of /proc/PID/stat).
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }

if [[ $mode == native ]]; then
  # shellcheck disable=SC2086
  "$program" --fullscreen ${SAVER_ARGS:-} &
  saver_pid=$!
else
  prefix=${WINE_PREFIX_DIR:-$root/build/perf-wine/prefix}
  mkdir -p "$prefix"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [[ ! -f $prefix/system.reg ]]; then
    start=$(date +%s)
    timeout 300 wineboot -i >/dev/null 2>&1 || die "wineboot -i failed"
    timeout 60 wineserver -w || true
    echo "wine prefix made in $(( $(date +%s) - start )) s: $prefix"
  fi
  wine "$program" /s >/dev/null 2>&1 &
  saver_pid=$!
fi

sleep "$warmup"
kill -0 "$saver_pid" 2>/dev/null || die "the saver ended during the warm-up"

# The processes that work for the saver: the X server, and under wine its server.
server_pid=""
if [[ $mode == wine ]]; then
  server_pid=$(pgrep -n -x wineserver || pgrep -n -f '^/usr/lib/wine/wineserver' || true)
fi

saver_before=$(ticks "$saver_pid")
xvfb_before=$(ticks "$xvfb_pid")
server_before=0
[[ -n $server_pid ]] && server_before=$(ticks "$server_pid")
start_ns=$(date +%s%N)
sleep "$measure"
kill -0 "$saver_pid" 2>/dev/null || die "the saver ended while it was measured"
end_ns=$(date +%s%N)
saver_after=$(ticks "$saver_pid")
xvfb_after=$(ticks "$xvfb_pid")
server_after=0
[[ -n $server_pid ]] && server_after=$(ticks "$server_pid")
rss=$(status_kb "$saver_pid" VmRSS)
peak=$(status_kb "$saver_pid" VmHWM)

share() {  # ticks -> percent of one core over the measured time
  awk -v t="$1" -v hz="$ticks_per_second" -v ns="$(( end_ns - start_ns ))" \
    'BEGIN { printf "%.2f", 100 * t / hz / (ns / 1e9) }'
}

command_line=$(tr '\0' ' ' < "/proc/$saver_pid/cmdline" 2>/dev/null | sed 's/ *$//' || true)
echo "saver:      ${command_line:-$program} ($mode), screen $screen, ${measure} s after ${warmup} s"
echo "saver CPU:  $(share $(( saver_after - saver_before )))% of one core"
echo "saver RSS:  $(( rss / 1024 )) MB now, $(( peak / 1024 )) MB at most"
echo "Xvfb CPU:   $(share $(( xvfb_after - xvfb_before )))% of one core (drawing the saver's pictures)"
if [[ -n $server_pid ]]; then
  echo "wineserver: $(share $(( server_after - server_before )))% of one core"
fi
