#!/usr/bin/env bash
# Figures of the Windows program under Wine, in the network lab only:
#  - the sizes of router-monitor.exe, router-monitor-scan.exe (as built and as
#    the zip holds them, stripped) and of the zip;
#  - milliseconds from launch to the window shown, and the resident memory of
#    the Wine process of router-monitor.exe, with the lab's router answering
#    and silent; each with Wine's services already running (another Windows
#    program open, as a Windows desktop always is) and from cold (no Wine
#    process in the prefix, so the server and its services start first);
#  - sweeps of 30 and of 252 hosts with router-monitor-scan.exe, which under
#    Wine goes the second way (SendARP is a stub there): one datagram to every
#    address and the kernel's neighbour table. Each sweep once with the lab's
#    neighbour table emptied first (every address resolved during the sweep)
#    and once right after the previous sweep (entries still reachable, as the
#    monitor's consecutive sweeps find them);
#  - with --linux DIR (a Linux build with router-monitor and startup_watch),
#    bench/startup-bench.sh's figures of the Linux program beside.
# Every Windows program runs in a Wine prefix made fresh inside the lab's
# scanner namespace; the prefix, its server and the labs are removed at the end.
#   bench/windows-startup-bench.sh [--build DIR] [--linux DIR] [--runs N]
# (defaults: build-win, no Linux figures, 5 runs; needs root)
set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(dirname "$HERE")"
BUILD="$ROOT/build-win"
LINUX=""
RUNS=5
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift ;;
    --linux) LINUX=$2; shift ;;
    --runs) RUNS=$2; shift ;;
    *) sed -n '2,21p' "$0" >&2; exit 2 ;;
  esac
  shift
done
[[ "$RUNS" =~ ^[1-9][0-9]?$ ]] || { echo "--runs must be 1..99" >&2; exit 2; }
BUILD=$(cd "$BUILD" && pwd) || exit 1
ZIP="$BUILD/router-monitor-1.0.0-win64.zip"
STANDIN="$BUILD/rm-standin-downloader.exe"
NETLAB="$ROOT/scripts/netlab.sh"
WINE_RUN="$ROOT/scripts/wine-run.sh"
SERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces)" >&2; exit 1; }
[ -f "$ZIP" ] && [ -f "$STANDIN" ] ||
  { echo "build first: cmake --build $BUILD --target package rm-standin-downloader" >&2; exit 1; }

# Median and largest of numbers, one a line.
median() { sort -n | awk '{v[NR] = $1} END {print (NR ? v[int((NR + 1) / 2)] : "-")}'; }
largest() { sort -n | tail -n1; }
kb_to_mb() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

if [ "${RM_WIN_BENCH_INNER:-}" != 1 ]; then
  printf 'sizes: router-monitor.exe %d bytes as built; in the zip (stripped):' \
    "$(stat -c %s "$BUILD/router-monitor.exe")"
  unzip_list=$(cd "$BUILD" && cmake -E tar tvf "$ZIP" 2>/dev/null)
  for f in router-monitor.exe router-monitor-scan.exe; do
    printf ' %s %s bytes;' "$f" "$(awk -v f="router-monitor/$f" '$NF == f {print $5}' <<<"$unzip_list")"
  done
  printf ' router-monitor-scan.exe %d bytes as built; the zip %d bytes\n' \
    "$(stat -c %s "$BUILD/router-monitor-scan.exe")" "$(stat -c %s "$ZIP")"
  RM_WIN_BENCH_INNER=1 "$ROOT/scripts/with-x11.sh" --tray -- "$0" --build "$BUILD" --runs "$RUNS"
  rc=$?
  if [ -n "$LINUX" ]; then
    echo "Linux build beside ($LINUX):"
    "$HERE/startup-bench.sh" "$LINUX" "$RUNS"
  fi
  exit $rc
fi

# On the virtual display from here on.
WORK=$(mktemp -d /tmp/rm-win-bench.XXXXXX)
LABS=()
cleanup() {
  local d lab
  for d in "$WORK"/prefix-*; do [ -d "$d" ] && WINEPREFIX=$d "$SERVER" -k 2>/dev/null; done
  sleep 0.5
  for lab in "${LABS[@]}"; do "$NETLAB" down "$lab" >/dev/null 2>&1; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
(cd "$WORK" && cmake -E tar xf "$ZIP") || { echo "cannot unpack $ZIP" >&2; exit 1; }
P="$WORK/router-monitor"
CAPTION='路由器使用监视器 '

# lab_up NAME HOSTS: a lab and a Wine prefix made inside its scanner namespace,
# kept warm by the stand-in (a window titled "bench resident").
lab_up() {
  local lab=$1 t0
  LABS+=("$lab")
  "$NETLAB" up "$lab" --hosts "$2" >/dev/null || { echo "lab $lab did not come up" >&2; exit 1; }
  t0=$(date +%s%N)
  in_lab "$lab" "$STANDIN" "bench resident" >/dev/null 2>&1 &
  for _ in $(seq 240); do
    [ -n "$(xdotool search --name '^bench resident$' 2>/dev/null)" ] && break
    sleep 0.25
  done
  [ -n "$(xdotool search --name '^bench resident$' 2>/dev/null)" ] ||
    { echo "Wine did not start in lab $lab" >&2; exit 1; }
  echo "lab $lab: $2 hosts; a fresh Wine prefix made and a first program shown in $((($(date +%s%N) - t0) / 1000000)) ms"
}
in_lab() { local lab=$1; shift; ip netns exec "$lab-scan" "$WINE_RUN" --prefix "$WORK/prefix-$lab" -- "$@"; }
resident_down() {
  local w
  for w in $(xdotool search --name '^bench resident$' 2>/dev/null); do wmctrl -i -c "$w"; done
  WINEPREFIX="$WORK/prefix-$1" timeout 30 "$SERVER" -w   # it ends a few seconds after its last program
}
resident_up() {
  in_lab "$1" "$STANDIN" "bench resident" >/dev/null 2>&1 &
  for _ in $(seq 120); do
    [ -n "$(xdotool search --onlyvisible --name '^bench resident$' 2>/dev/null)" ] && return 0
    sleep 0.25
  done
  echo "the resident program did not come back" >&2; exit 1
}

# One launch of router-monitor.exe: "MS RSS_KB HWM_KB", its window closed after.
launch_once() {
  local lab=$1 t0 t1 pid w="" rss hwm
  # Without SendARP the router probe takes a REACHABLE neighbour entry as an
  # answer, and the previous launch left one: emptied, the router answers (or
  # stays silent) now, not 15-45 s ago.
  ip -n "$lab-scan" neigh flush dev eth0
  t0=$(date +%s%N)
  # Started directly (not through a function, which would run in a subshell of
  # its own) so that $! is the process that becomes router-monitor.exe.
  ip netns exec "$lab-scan" "$WINE_RUN" --prefix "$WORK/prefix-$lab" -- "$P/router-monitor.exe" \
    >/dev/null 2>&1 &
  pid=$!
  while [ $(($(date +%s%N) - t0)) -lt 30000000000 ]; do
    w=$(xdotool search --onlyvisible --name "^${CAPTION}\$" 2>/dev/null | head -n1)
    [ -n "$w" ] && break
    sleep 0.01
  done
  t1=$(date +%s%N)
  [ -n "$w" ] || { kill "$pid" 2>/dev/null; echo "window never shown" >&2; return 1; }
  # A moment for the start-up to settle, then the Wine process's memory.
  sleep 1
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
  hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
  wmctrl -i -c "$w"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo "$(((t1 - t0) / 1000000)) ${rss:-0} ${hwm:-0}"
}

# measure LAB LABEL cold|warm: RUNS launches and their median, worst and memory.
measure() {
  local lab=$1 label=$2 mode=$3 out=() line
  for _ in $(seq "$RUNS"); do
    [ "$mode" = cold ] && resident_down "$lab"
    line=$(launch_once "$lab") || exit 1
    out+=("$line")
    [ "$mode" = cold ] && resident_up "$lab"
    sleep 0.5
  done
  local ms rss hwm
  ms=$(printf '%s\n' "${out[@]}" | cut -d' ' -f1)
  rss=$(printf '%s\n' "${out[@]}" | cut -d' ' -f2 | median)
  hwm=$(printf '%s\n' "${out[@]}" | cut -d' ' -f3 | largest)
  printf '%-16s %-4s launch to window shown: median %5d ms, worst %5d ms (%d runs);' \
    "$label" "$mode" "$(median <<<"$ms")" "$(largest <<<"$ms")" "$RUNS"
  printf ' resident memory 1 s later: median %d kB (%s MB), peak %d kB (%s MB)\n' \
    "$rss" "$(kb_to_mb "$rss")" "$hwm" "$(kb_to_mb "$hwm")"
}

# sweep LAB PREFIX FIRST LAST flushed|consecutive: RUNS sweeps of
# router-monitor-scan.exe, median of its own "every line in" time, of the hosts
# answered and of the whole process (Wine start included).
sweep() {
  local lab=$1 prefix=$2 first=$3 last=$4 mode=$5 lines=() walls=() out t0
  [ "$mode" = consecutive ] && in_lab "$lab" "$P/router-monitor-scan.exe" "$prefix" "$first" "$last" >/dev/null 2>&1
  for _ in $(seq "$RUNS"); do
    [ "$mode" = flushed ] && ip -n "$lab-scan" neigh flush dev eth0
    t0=$(date +%s%N)
    out=$(in_lab "$lab" "$P/router-monitor-scan.exe" "$prefix" "$first" "$last" 2>/dev/null | tr -d '\r' | tail -n1)
    walls+=("$((($(date +%s%N) - t0) / 1000000))")
    lines+=("$out")
    sleep 0.3
  done
  local answered every last_at path
  answered=$(printf '%s\n' "${lines[@]}" | awk '{print $1}' | median)
  every=$(printf '%s\n' "${lines[@]}" | sed -n 's/.*every line in \([0-9.]*\) ms.*/\1/p' | median)
  last_at=$(printf '%s\n' "${lines[@]}" | sed -n 's/.*the last at \([0-9.]*\) ms.*/\1/p' | median)
  path=$(printf '%s\n' "${lines[@]}" | sed -n 's/.*(\(.*\))$/\1/p' | sort -u | paste -sd, -)
  printf 'sweep %3d hosts %-11s answered %s of %d, last answer %s ms, every line %s ms, whole run %s ms (median of %d; %s)\n' \
    $((last - first + 1)) "$mode" "$answered" $((last - first + 1)) "$last_at" "$every" \
    "$(printf '%s\n' "${walls[@]}" | median)" "$RUNS" "$path"
}

A="wb$$a"
lab_up "$A" 30
measure "$A" "router answering" warm
measure "$A" "router answering" cold
"$NETLAB" leave "$A" r
measure "$A" "router silent" warm
measure "$A" "router silent" cold
"$NETLAB" join "$A" r
sweep "$A" 10.77.0. 11 40 flushed
sweep "$A" 10.77.0. 11 40 consecutive
resident_down "$A"
"$NETLAB" down "$A" >/dev/null

B="wb$$b"
lab_up "$B" 252
sweep "$B" 10.77.0. 3 254 flushed
sweep "$B" 10.77.0. 3 254 consecutive
