#!/usr/bin/env bash
# Soak run: the Windows saver under Wine and the Linux saver, each full screen on a
# private Xvfb display for a while, sampled at a fixed interval. After the warm-up
# nothing may grow: not the saver's resident memory, not the X server's (which holds
# the saver's images, pixmaps and shared memory), not the wineserver's, not the
# saver's open files (Linux) or its private bytes, handles and GUI objects as Windows
# sees them (read by lf_resource_probe.exe from inside Wine). At the end each saver must close on a
# mouse movement with exit code 0.
#
#   tests/soak/soak.sh --wine-x86 DIR --wine-x64 DIR --native PROGRAM --work DIR [options]
#     --wine-x86 DIR     the folders with lumenfall.scr and lf_resource_probe.exe of the
#     --wine-x64 DIR     32- and 64-bit editions; the one that scripts/wine-edition.sh
#                        names runs (the 32-bit one where this kernel runs 32-bit programs)
#     --native PROGRAM   the Linux saver (run as PROGRAM --fullscreen)
#     --work DIR         samples, reports and the Wine prefix (made on first use)
#     --duration S       seconds each saver runs (default 600)
#     --warmup S         seconds before the samples that must not grow (default 60)
#     --interval S       seconds between samples (default 5)
#     --only wine|native one of the two
#     --screen WxHxD     the Xvfb screen (default 1024x768x24)
#     --rss-slack KIB    growth of resident memory let through after the warm-up
#                        (default 512; page-ins and allocator rounding)
#     --count-slack N    growth of handle, object and file counts let through (default 0)
#     --prefix DIR       the folder of the Wine prefixes, DIR/<edition>/prefix (default WORK)
#     --judge NAME:FILE  judge samples written before (NAME wine or native), run nothing
#
# Writes WORK/<saver>-samples.tsv (one line per sample) and prints the figures.
# Exit status: 0 nothing grew; 1 something grew, a saver died or did not close;
# 2 a mistake on the command line; 77 a tool or program is missing (only outside CI:
# with CI=true that is a failure, 1).
set -uo pipefail

duration=600 warmup=60 interval=5 only="" screen=1024x768x24 rss_slack=512 count_slack=0
wine_x86="" wine_x64="" native="" work="" prefix_dir="" judge=""

usage() { echo "soak: $*" >&2; exit 2; }
number() { [[ $2 =~ ^[0-9]+$ ]] && (( $2 > 0 && $2 <= 86400 )) || usage "$1 takes a whole number of seconds from 1 to 86400, not '$2'"; }
while (( $# > 0 )); do
  [[ $# -ge 2 ]] || usage "$1 needs a value"
  case $1 in
    --duration) number "$1" "$2"; duration=$2 ;;
    --warmup) number "$1" "$2"; warmup=$2 ;;
    --interval) number "$1" "$2"; interval=$2 ;;
    --only) [[ $2 == wine || $2 == native ]] || usage "--only takes wine or native, not '$2'"; only=$2 ;;
    --screen) [[ $2 =~ ^[0-9]+x[0-9]+x(8|16|24)$ ]] || usage "--screen takes WxHxD, not '$2'"; screen=$2 ;;
    --rss-slack) [[ $2 =~ ^[0-9]+$ ]] || usage "--rss-slack takes KiB, not '$2'"; rss_slack=$2 ;;
    --count-slack) [[ $2 =~ ^[0-9]+$ ]] || usage "--count-slack takes a count, not '$2'"; count_slack=$2 ;;
    --wine-x86) wine_x86=$2 ;;
    --wine-x64) wine_x64=$2 ;;
    --native) native=$2 ;;
    --work) work=$2 ;;
    --prefix) prefix_dir=$2 ;;
    --judge) [[ $2 =~ ^(wine|native):. ]] || usage "--judge takes wine:FILE or native:FILE, not '$2'"; judge=$2 ;;
    *) usage "unknown option '$1'" ;;
  esac
  shift 2
done
[[ -n $work || -n $judge ]] || usage "--work is required"
(( warmup < duration )) || usage "the warm-up ($warmup s) must be shorter than the run ($duration s)"
(( interval * 3 <= duration - warmup )) || usage "at least three samples must follow the warm-up"

# ---- Judging the samples ----

# report NAME FILE: prints the figures and returns 1 when a series grew after the warm-up.
report() {
  awk -F'\t' -v name="$1" -v warmup="$warmup" -v rss_slack="$rss_slack" -v count_slack="$count_slack" '
    NR == 1 { for (i = 1; i <= NF; ++i) column[i] = $i; columns = NF; next }
    {
      ++all
      for (i = 2; i <= columns; ++i) {
        v = $i + 0
        if (all == 1) first[i] = v
        last[i] = v
        if (!(i in peak) || v > peak[i]) peak[i] = v
        if ($1 + 0 < warmup) continue
        if (!(i in base)) { base[i] = v; high[i] = v; high_t[i] = $1; after[i] = 0 }
        if (v > high[i]) { high[i] = v; high_t[i] = $1 }
        ++after[i]
        if (v != 0) nonzero[i] = 1
        if (v < 0) unknown[i] = 1
      }
    }
    END {
      bad = 0
      printf "%s: %d samples, %d after the %d s warm-up\n", name, all, after[2], warmup
      for (i = 2; i <= columns; ++i) {
        c = column[i]
        if (c == "saver_hwm_kb") {
          printf "  %-18s peak %d KiB\n", "saver peak RSS", last[i]
          continue
        }
        if (!(i in base)) continue
        native_only = c == "open_files"
        wine_only = c == "wineserver_rss_kb" || c == "private_kb" || c == "handles" || c == "table_handles" || c == "gdi" || c == "user"
        if ((name == "native" && wine_only) || (name == "wine" && native_only)) continue
        if (unknown[i]) {
          printf "  %-18s not available\n", c
          continue
        }
        if ((c == "gdi" || c == "user") && !nonzero[i]) {
          printf "  %-18s always 0: not supported here (Wine answers 0 for GetGuiResources)\n", c
          continue
        }
        slack = (c ~ /_kb$/) ? rss_slack : count_slack
        grew = high[i] - base[i]
        verdict = grew > slack ? "GREW" : "steady"
        if (grew > slack) bad = 1
        unit = (c ~ /_kb$/) ? " KiB" : ""
        printf "  %-18s first %d%s, after warm-up %d, highest %d at %d s, last %d, peak %d: %s (+%d, slack %d)\n",
               c, first[i], unit, base[i], high[i], high_t[i], last[i], peak[i], verdict, grew, slack
      }
      exit bad
    }' "$2"
}

if [[ -n $judge ]]; then
  [[ -f ${judge#*:} ]] || usage "no samples at '${judge#*:}'"
  report "${judge%%:*}" "${judge#*:}"
  exit $?
fi

# A missing tool or program: a skip outside CI, a failure in it.
missing() {
  echo "soak: $*" >&2
  if [[ ${CI:-} == true ]]; then exit 1; fi
  echo "soak: skipped (outside CI a missing tool is not a failure)" >&2
  exit 77
}

runs=()
[[ $only != native ]] && runs+=(wine)
[[ $only != wine ]] && runs+=(native)
for tool in Xvfb xdotool; do command -v $tool >/dev/null || missing "$tool is not installed"; done
if [[ " ${runs[*]} " == *" wine "* ]]; then
  for tool in wine wineserver wineboot; do command -v $tool >/dev/null || missing "$tool is not installed"; done
  # The 32-bit edition where this kernel runs 32-bit programs, else the 64-bit one.
  edition=$(bash "$(dirname "$0")/../../scripts/wine-edition.sh") || exit 1
  echo "soak: lumenfall.scr, $edition"
  if [[ $edition == x86* ]]; then wine_dir=$wine_x86 wine_arch=win32; else wine_dir=$wine_x64 wine_arch=win64; fi
  [[ -f $wine_dir/lumenfall.scr ]] ||
    missing "no lumenfall.scr in '$wine_dir' (--wine-${edition%% *}; run the ${edition%% *} cross build)"
  [[ -f $wine_dir/lf_resource_probe.exe ]] || missing "no lf_resource_probe.exe in '$wine_dir'"
fi
if [[ " ${runs[*]} " == *" native "* ]]; then
  [[ -x $native ]] || missing "no Linux saver at '$native' (--native)"
fi
mkdir -p "$work" || usage "cannot create '$work'"
work=$(cd "$work" && pwd)
if [[ -n $prefix_dir ]]; then
  mkdir -p "$prefix_dir" || usage "cannot create '$prefix_dir'"
  prefix_dir=$(cd "$prefix_dir" && pwd)  # Wine wants an absolute prefix
fi

# ---- Processes we start, and their cleanup ----

xvfb_pid="" saver_pid="" probe_pid="" prefix=""
stop_pid() {  # pid: TERM, then KILL after 2 s
  [[ -n $1 ]] && kill -0 "$1" 2>/dev/null || return 0
  kill "$1" 2>/dev/null
  for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null
}
cleanup() {
  stop_pid "$probe_pid"; probe_pid=""
  stop_pid "$saver_pid"; saver_pid=""
  if [[ -n $prefix ]]; then WINEPREFIX=$prefix timeout 20 wineserver -k 2>/dev/null; fi
  if [[ -n $xvfb_pid ]]; then stop_pid "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

start_xvfb() {
  local n
  for n in $(seq 200 259); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [[ -e /tmp/.X11-unix/X$n ]] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [[ -e /tmp/.X11-unix/X$n ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
    stop_pid "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""  # lost a race: next number
  done
  echo "soak: no Xvfb display could be started" >&2
  return 1
}

status_kb() { awk -v key="$2:" '$1 == key { print $2; found = 1 } END { if (!found) print -1 }' "/proc/$1/status" 2>/dev/null || echo -1; }
# The wineserver of a prefix: other Wine sessions may run beside this one.
wineserver_of() {
  local pid
  for pid in $(pgrep -f wineserver); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$1" && { echo "$pid"; return; }
  done
}
open_files() { local n; n=$(ls "/proc/$1/fd" 2>/dev/null | wc -l) && echo "$n" || echo -1; }

# ---- One run ----

# run_saver NAME: starts the saver on a fresh Xvfb, samples it, closes it; writes
# WORK/NAME-samples.tsv. Returns 1 when the saver died or did not close.
run_saver() {
  local name=$1 samples=$work/$1-samples.tsv server_pid="" probe_out=$work/$1-probe.txt
  start_xvfb || return 1
  local width=${screen%%x*}
  local rest=${screen#*x}
  local height=${rest%%x*}
  xdotool mousemove $((width / 2)) $((height / 2))
  if [[ $name == wine ]]; then
    prefix=${prefix_dir:-$work}/${edition%% *}/prefix
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=$wine_arch WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ ! -f $prefix/system.reg ]]; then
      mkdir -p "$prefix"
      local made=$SECONDS
      timeout 240 wineboot -i >/dev/null 2>&1 || { echo "soak: wineboot -i failed" >&2; return 1; }
      # DirectDraw through Wine's GDI renderer, as the Wine suites run it.
      timeout 60 wine reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d no3d /f >/dev/null 2>&1
      timeout 60 wineserver -k 2>/dev/null
      echo "wine prefix made in $((SECONDS - made)) s: $prefix"
    fi
    # The launcher execs Wine's loader, so $! is the process that runs the saver.
    wine "$wine_dir/lumenfall.scr" /s >/dev/null 2>&1 &
    saver_pid=$!
    wine "$wine_dir/lf_resource_probe.exe" $((interval * 1000)) $((duration / interval + 2)) >"$probe_out" 2>/dev/null &
    probe_pid=$!
    for _ in $(seq 300); do
      grep -q '^process\|^no-' "$probe_out" 2>/dev/null && break
      sleep 0.1
    done
    grep -q '^process' "$probe_out" || { echo "soak: the probe found no saver window: $(head -1 "$probe_out")" >&2; return 1; }
    server_pid=$(wineserver_of "$prefix")
  else
    "$native" --fullscreen >/dev/null 2>"$work/native-stderr.txt" &
    saver_pid=$!
    sleep 1
  fi
  if ! tr '\0' ' ' <"/proc/$saver_pid/cmdline" 2>/dev/null | grep -q "lumenfall"; then
    echo "soak: process $saver_pid is not the saver" >&2
    return 1
  fi

  printf 't\tsaver_rss_kb\tsaver_hwm_kb\txvfb_rss_kb\twineserver_rss_kb\tprivate_kb\topen_files\thandles\ttable_handles\tgdi\tuser\n' >"$samples"
  local start=$SECONDS t=0 next=0 died=0
  while (( t <= duration )); do
    if ! kill -0 "$saver_pid" 2>/dev/null; then died=1; break; fi
    local handles=-1 table=-1 gdi=-1 user=-1 private=-1 files=-1 wsrv=-1
    if [[ $name == wine ]]; then
      local line
      line=$(grep '^sample' "$probe_out" | tail -1)
      [[ $line =~ \ handles=(-?[0-9]+) ]] && handles=${BASH_REMATCH[1]}
      [[ $line =~ tablehandles=(-?[0-9]+) ]] && table=${BASH_REMATCH[1]}
      [[ $line =~ private=(-?[0-9]+) ]] && private=$(( BASH_REMATCH[1] < 0 ? -1 : BASH_REMATCH[1] / 1024 ))
      [[ $line =~ gdi=(-?[0-9]+) ]] && gdi=${BASH_REMATCH[1]}
      [[ $line =~ user=(-?[0-9]+) ]] && user=${BASH_REMATCH[1]}
      [[ -n $server_pid ]] && wsrv=$(status_kb "$server_pid" VmRSS)
    else
      files=$(open_files "$saver_pid")
    fi
    printf '%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "$(status_kb "$saver_pid" VmRSS)" \
      "$(status_kb "$saver_pid" VmHWM)" "$(status_kb "$xvfb_pid" VmRSS)" "$wsrv" "$private" "$files" \
      "$handles" "$table" "$gdi" "$user" >>"$samples"
    next=$((next + interval))
    while (( SECONDS - start < next )); do sleep 0.2; done
    t=$((SECONDS - start))
  done
  local closed=0 code=-1
  if (( !died )); then
    xdotool mousemove $((width / 2 + 10)) $((height / 2))
    for _ in $(seq 100); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
    if ! kill -0 "$saver_pid" 2>/dev/null; then
      wait "$saver_pid"; code=$?
      closed=1
    fi
  fi
  saver_pid=""
  stop_pid "$probe_pid"; probe_pid=""
  if [[ -n $prefix ]]; then timeout 20 wineserver -k 2>/dev/null; prefix=""; fi
  stop_pid "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""
  if (( died )); then echo "soak: $name: the saver ended by itself after $t s" >&2; return 1; fi
  if (( !closed )); then echo "soak: $name: a mouse movement did not close the saver" >&2; return 1; fi
  if (( code != 0 )); then echo "soak: $name: the saver closed with exit code $code" >&2; return 1; fi
  echo "$name: closed on a mouse movement with exit code 0"
  return 0
}

status=0
for name in "${runs[@]}"; do
  echo "== $name saver: $duration s, a sample every $interval s, steady after $warmup s (screen $screen)"
  if ! run_saver "$name"; then status=1; fi
  [[ -s $work/$name-samples.tsv ]] && { report "$name" "$work/$name-samples.tsv" || status=1; }
done
if (( status == 0 )); then echo "soak: nothing grew"; else echo "soak: FAILED" >&2; fi
exit $status
