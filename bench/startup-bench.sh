#!/usr/bin/env bash
# Start-up figures of router-monitor in the network lab: milliseconds from launch
# to the main window shown, with the lab's router answering and with it gone
# (targets: under 300 ms and under 1.3 s), and the program's peak memory
# (target: under 80 MB). The program runs only inside the lab's scanner
# namespace, on a virtual X display with a window manager and a tray.
#   bench/startup-bench.sh [BUILD_DIR] [RUNS]    (default: build, 5; needs root)
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-5}"
[ -x "$build/router-monitor" ] || ninja -C "$build" router-monitor
[ -x "$build/startup_watch" ] || ninja -C "$build" startup_watch
[ -f "$build/savedata1.ini" ] || ninja -C "$build" rm_settings_files

if [ "${RM_STARTUP_BENCH_INNER:-}" != 1 ]; then
  export RM_STARTUP_BENCH_INNER=1
  exec "$here/../scripts/with-x11.sh" --tray -- \
    "$here/../scripts/netlab.sh" run auto --hosts 2 -- "$0" "$build" "$runs"
fi

# Inside the lab's scanner namespace, on the virtual display.
title="路由器使用监视器 "
measure() {  # measure LABEL: RUNS launches, then the median and the worst
  local label=$1 times=() peaks=() out
  for _ in $(seq "$runs"); do
    out=$("$build/startup_watch" "$title" 10000 -- "$build/router-monitor")
    times+=("$(sed -n 's/.*shown_ms=\([0-9]*\).*/\1/p' <<<"$out")")
    peaks+=("$(sed -n 's/.*peak_kb=\([0-9]*\).*/\1/p' <<<"$out")")
  done
  local sorted median worst peak
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  median=$(sed -n "$(( (runs + 1) / 2 ))p" <<<"$sorted")
  worst=$(tail -n1 <<<"$sorted")
  peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n1)
  printf '%-16s launch to window shown: median %5d ms, worst %5d ms (%s runs); peak memory %d kB (%.1f MB)\n' \
    "$label" "$median" "$worst" "$runs" "$peak" "$(awk "BEGIN{print $peak/1024}")"
}

measure "router answering"
"$RM_LAB_SCRIPT" leave "$RM_LAB_NAME" r
trap '"$RM_LAB_SCRIPT" join "$RM_LAB_NAME" r' EXIT
measure "router silent"
