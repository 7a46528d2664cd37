#!/usr/bin/env bash
# scan-bench.sh: the range scanner against arp-scan, side by side in the network
# lab (namespaces only; nothing leaves this machine). For each lab size and loss
# it times RUNS sweeps of router-monitor-scan and of arp-scan (default settings
# and tuned --retry=3 --timeout=100) over the range of the lab's hosts, and
# prints median and range of the time to a complete result and of hosts found.
# Then the share of complete sweeps under 10 % loss in each direction, and, with
# --lag, how long the unprivileged path keeps listing a host that left.
#
# Frames per sweep: what the scanner's namespace sends into the bridge (the tx
# counter of its eth0) while sweeping the whole /24 (.1 .. .255), at 0 % and
# 10 % loss, for the command's default, --gentle and arp-scan's default. Frames
# per free scan: the monitor's scan that finds nobody makes ten sweeps
# (--monitor --repeat 10, through one helper as the window makes them), beside
# arp-scan's default run ten times; in the lab of that size and in a free
# network (the router and two devices that the user excludes). Under 10 % loss
# monitor-style runs also give the share of sweeps listing every known device
# (the first scan, which learns who is there, not counted), and the share of
# devices that join mid-scan and send their first packet listed by the sweep
# after the one they joined in.
#
# The range swept is that of the lab's hosts: .11 .. .(10+K) for K <= 244 hosts,
# .3 .. .254 for 252 (netlab.sh puts hosts 245..252 at .3 .. .10).
#
# router-monitor-scan runs as installed: copies in a folder owned by root, run
# by an ordinary user (nobody), cap_net_raw granted by file to router-monitor-arp
# (or, for a build from before the helper, to router-monitor-scan itself).
# --compare DIR runs a second build the same way, interleaved with the first.
#
# usage: bench/scan-bench.sh [--build DIR] [--compare DIR] [--runs N]
#                            [--sizes "30 252"] [--lag]
# Needs root (network namespaces), arp-scan, nftables, setcap and setpriv.
set -u
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(dirname "$HERE")"
BUILD="$ROOT/build"
RUNS=5
SIZES="30 252"  # the lab holds at most 252 hosts
LAG=0
COMPARE=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift ;;
    --compare) COMPARE=$2; shift ;;
    --runs) RUNS=$2; shift ;;
    --sizes) SIZES=$2; shift ;;
    --lag) LAG=1 ;;
    *) sed -n '2,29p' "$0" >&2; exit 2 ;;
  esac
  shift
done
LAB="$ROOT/scripts/netlab.sh"
command -v arp-scan >/dev/null || { echo "arp-scan is not installed" >&2; exit 1; }
command -v setcap >/dev/null && command -v setpriv >/dev/null ||
  { echo "setcap and setpriv are needed" >&2; exit 1; }
NAME="sb$$"
PROGS=$(mktemp -d /tmp/scan-bench.XXXXXX)
chmod 0755 "$PROGS"
trap '"$LAB" down "$NAME" >/dev/null 2>&1; rm -rf "$PROGS"' EXIT
trap 'exit 130' INT TERM

# install_copy BUILD DIR: the build's scanner (and helper) in DIR, the
# capability on the helper, or on the scanner when the build has no helper.
install_copy() {
  [ -x "$1/router-monitor-scan" ] || { echo "build router-monitor-scan first ($1)" >&2; exit 1; }
  mkdir -p "$2"
  cp "$1/router-monitor-scan" "$2/"
  if [ -x "$1/router-monitor-arp" ]; then
    cp "$1/router-monitor-arp" "$2/"
    setcap cap_net_raw+ep "$2/router-monitor-arp" || exit 1
  else
    setcap cap_net_raw+ep "$2/router-monitor-scan" || exit 1
  fi
}
install_copy "$BUILD" "$PROGS/a"
SCANS=("$PROGS/a/router-monitor-scan")
LABELS=("router-monitor-scan")
if [ -n "$COMPARE" ]; then
  install_copy "$COMPARE" "$PROGS/b"
  SCANS+=("$PROGS/b/router-monitor-scan")
  LABELS+=("  --compare build")
fi
SCAN=${SCANS[0]}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The timed runs enter the scanner namespace directly: `netlab.sh exec` would add
# its own checks (about 100 ms) to every figure, ours and arp-scan's alike.
in_lab() { ip netns exec "$NAME-scan" "$@"; }
# As an ordinary user, without any capability of its own.
as_user() { in_lab setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all -- "$@"; }

# One run of scanner $1 (index into SCANS): prints "elapsed_ms found".
run_ours() {
  local t0 t1 line
  t0=$(now_ms)
  line=$(as_user "${SCANS[$1]}" "10.77.0." "$FIRST" "$LAST" | tail -1)
  t1=$(now_ms)
  # Wall time like arp-scan's (process start and namespace entry included); the
  # command's own figure of the sweep alone goes to a file of its own.
  echo "$line" | awk '{ print $6, $1 }' >>"$tmp/own$1"
  echo "$((t1 - t0)) $(echo "$line" | awk '{print $1}')"
}
run_arpscan() {
  local t0 t1 found
  t0=$(now_ms)
  found=$(in_lab arp-scan -q -x -I eth0 "$@" "10.77.0.$FIRST-10.77.0.$LAST" 2>/dev/null |
    awk '{print $1}' | sort -u | grep -c '^10\.')
  t1=$(now_ms)
  echo "$((t1 - t0)) $found"
}

tx_frames() { in_lab cat /sys/class/net/eth0/statistics/tx_packets; }
FRAME_RUNS=3
# frames_of LABEL SWEEPS CMD...: CMD run FRAME_RUNS times (it makes SWEEPS sweeps
# each), frames per sweep and per address of the /24.
frames_of() {
  local label=$1 sweeps=$2 before after total=0 i
  shift 2
  for ((i = 0; i < FRAME_RUNS; i++)); do
    before=$(tx_frames)
    "$@" >/dev/null 2>&1
    after=$(tx_frames)
    total=$((total + after - before))
  done
  awk -v t="$total" -v n="$((FRAME_RUNS * sweeps))" -v l="$label" \
    -v u="${UNIT:-sweep}" 'BEGIN { printf "%-34s %8.1f frames/%s  %5.2f per address\n", l, t / n, u, t / n / 255 }'
}
frames_report() {
  echo "-- $size hosts, $loss % loss: frames sent into the bridge per sweep of the /24 (.1-.255)"
  for s in "${!SCANS[@]}"; do
    frames_of "${LABELS[$s]} (default)" 1 as_user "${SCANS[$s]}" "10.77.0." 1 255
    frames_of "${LABELS[$s]} --gentle" 1 as_user "${SCANS[$s]}" --gentle "10.77.0." 1 255
  done
  frames_of "arp-scan (default)" 1 in_lab arp-scan -q -x -I eth0 "10.77.0.1-10.77.0.255"
  free_scan_report "$size hosts"
}
# free_scan_report WHAT: frames per free scan of the /24, ours and arp-scan x 10.
free_scan_report() {
  echo "-- $1, $loss % loss: frames per free scan (ten sweeps) of the /24 (.1-.255); target <= 1.5 per address"
  for s in "${!SCANS[@]}"; do
    as_user "${SCANS[$s]}" --monitor "10.77.0." 1 1 >/dev/null 2>&1 || continue
    UNIT=scan frames_of "${LABELS[$s]} --monitor --repeat 10" 1 \
      as_user "${SCANS[$s]}" --monitor --repeat 10 "10.77.0." 1 255
  done
  UNIT=scan frames_of "arp-scan (default) run 10 times" 1 \
    bash -c 'for i in 1 2 3 4 5 6 7 8 9 10; do ip netns exec "$0" arp-scan -q -x -I eth0 10.77.0.1-10.77.0.255; done' "$NAME-scan"
}
# A device joins mid-scan and sends its first packets (datagrams to the router
# and to host 2, so two ARP requests, where a real device sends its RFC 5227
# probes and announcements too): listed by the sweep after the one it joined
# in? Scanner $1, $2 trials, host h1.
joins_report() {
  local s=$1 trials=$2 listed=0 i out
  out=$(mktemp)
  for ((i = 0; i < trials; i++)); do
    "$LAB" leave "$NAME" h1
    as_user "${SCANS[$s]}" --monitor --repeat 3 "10.77.0." "$FIRST" "$LAST" >"$out" &
    local pid=$!
    until grep -q ' answered in ' "$out" 2>/dev/null || ! kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    "$LAB" join "$NAME" h1
    "$LAB" in "$NAME" h1 bash -c 'echo > /dev/udp/10.77.0.1/9; echo > /dev/udp/10.77.0.12/9' 2>/dev/null
    wait "$pid"
    # the third sweep's list: lines after the second summary
    awk '/ answered in / { n++; next } n == 2 && $1 == "10.77.0.11" && $2 != "00-00-00-00-00-00" { f = 1 } END { exit !f }' "$out" &&
      listed=$((listed + 1))
  done
  rm -f "$out"
  echo "-- $size hosts, ${LABELS[$s]# *} monitor-style: $listed of $trials devices that joined and sent a packet mid-scan listed by the next sweep under 10 % loss"
}

# median and range of one column of "a b" lines
stats() {
  sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
    printf "%8.1f  %8.1f-%-8.1f", m, v[1], v[NR] }'
}

report() {
  local label=$1 file=$2
  printf "%-28s %s   " "$label" "$(awk '{print $1}' "$file" | stats)"
  awk '{print $2}' "$file" | sort -n | awk '{ v[NR] = $1 } END { printf "%4d (%d-%d)", v[int((NR + 1) / 2)], v[1], v[NR] }'
  printf " of %d\n" "$EXPECT"
}

printf "%-28s %8s  %-17s   %s\n" "lab / tool" "median" "range (ms)" "hosts found"
for size in $SIZES; do
  "$LAB" up "$NAME" --hosts "$size" >/dev/null || exit 1
  # The hosts' numbers form one run: the lowest and the highest bound the range.
  read -r FIRST LAST < <("$LAB" hosts "$NAME" | awk '$1 != "r" { split($2, a, "."); n = a[4] + 0
    if (lo == "" || n < lo) lo = n; if (n > hi) hi = n } END { print lo, hi }')
  EXPECT=$size
  for loss in 0 10; do
    "$LAB" loss "$NAME" "$loss" || exit 1
    echo "-- $size hosts, $loss % loss (each direction), $RUNS runs each"
    tmp=$(mktemp -d)
    for ((i = 0; i < RUNS; i++)); do
      for s in "${!SCANS[@]}"; do run_ours "$s" >>"$tmp/ours$s"; done
      run_arpscan >>"$tmp/default"
      run_arpscan --retry=3 --timeout=100 >>"$tmp/tuned"
    done
    for s in "${!SCANS[@]}"; do
      report "${LABELS[$s]}" "$tmp/ours$s"
      report "  (its sweep alone)" "$tmp/own$s"
    done
    report "arp-scan (default)" "$tmp/default"
    report "arp-scan --retry=3 -t 100" "$tmp/tuned"
    rm -rf "$tmp"
    frames_report
  done
  # Completeness under loss: many sweeps, each must find everybody.
  "$LAB" loss "$NAME" 10
  sweeps=$((size <= 30 ? 200 : 100))
  for s in "${!SCANS[@]}"; do
    complete=0
    missed=0
    for ((i = 0; i < sweeps; i++)); do
      line=$(as_user "${SCANS[$s]}" "10.77.0." "$FIRST" "$LAST" | tail -1)
      found=$(echo "$line" | awk '{print $1}')
      [ "$found" = "$size" ] && complete=$((complete + 1))
      missed=$((missed + size - found))
    done
    echo "-- $size hosts, ${LABELS[$s]# *}: $complete of $sweeps sweeps complete under 10 % loss ($missed of $((sweeps * size)) hosts missed)"
    # The monitor's schedule: one run of consecutive sweeps. A known device is
    # one listed by an earlier sweep of the run; the first scan (ten sweeps),
    # which learns who is there, is not counted.
    as_user "${SCANS[$s]}" --monitor "10.77.0." 1 1 >/dev/null 2>&1 || continue
    as_user "${SCANS[$s]}" --monitor --repeat "$((sweeps + 10))" "10.77.0." "$FIRST" "$LAST" |
      awk -v n="$sweeps" -v l="${LABELS[$s]# *}" -v size="$size" '
        / answered in / {
          if (++sweep > 10) { miss = 0; for (a in known) if (!(a in now)) miss++; c += miss == 0; m += miss }
          for (a in now) known[a] = 1
          delete now
          next
        }
        $1 ~ /^10\./ && $2 != "00-00-00-00-00-00" { now[$1] = 1 }
        END { printf "-- %d hosts, %s monitor-style: %d of %d sweeps list every known host under 10 %% loss (%d missed)\n", size, l, c, n, m }'
    joins_report "$s" 20
  done
  "$LAB" loss "$NAME" 0
  # CPU of the sweep alone (process start not included), 11 sweeps at 0 % loss.
  # In the lab it includes the bridge's work, which the kernel does in the
  # sender's context: every request is flooded to every port.
  # With the helper this is the scanner's own share: the sweep's frames are the
  # helper's work, in another process.
  for s in "${!SCANS[@]}"; do
    cpu=$(for ((i = 0; i < 11; i++)); do
      as_user "${SCANS[$s]}" "10.77.0." "$FIRST" "$LAST" | tail -1 | sed 's/.*cpu \([0-9.]*\) ms.*/\1/'
    done | stats)
    echo "-- $size hosts, ${LABELS[$s]# *}: cpu per sweep at 0 % loss (ms, median  range): $cpu"
    as_user "${SCANS[$s]}" --monitor "10.77.0." 1 1 >/dev/null 2>&1 || continue
    cpu=$(as_user "${SCANS[$s]}" --monitor --repeat 11 "10.77.0." "$FIRST" "$LAST" |
      grep ' answered in ' | sed 's/.*cpu \([0-9.]*\) ms.*/\1/' | stats)
    echo "-- $size hosts, ${LABELS[$s]# *} monitor-style: cpu per sweep at 0 % loss (ms, median  range): $cpu"
  done

  if [ "$LAG" = 1 ] && [ "$size" = "${SIZES%% *}" ]; then
    # The unprivileged path answers from the kernel's cache: time until a host
    # that left stops being listed.
    in_lab capsh --drop=cap_net_raw -- -c "\"$SCAN\" 10.77.0. 11 11" >/dev/null
    "$LAB" leave "$NAME" h1
    t0=$(now_ms)
    while :; do
      line=$(in_lab capsh --drop=cap_net_raw -- -c "\"$SCAN\" 10.77.0. 11 11" | head -1)
      case "$line" in *00-00-00-00-00-00*) break ;; esac
      [ $(($(now_ms) - t0)) -gt 120000 ] && break
      sleep 1
    done
    echo "-- unprivileged path: a host that left was listed for $(( ($(now_ms) - t0) / 1000 )) s more"
    "$LAB" join "$NAME" h1
  fi
  "$LAB" down "$NAME"
done

# A free network: the router and two devices (the user's own, excluded).
"$LAB" up "$NAME" --hosts 2 >/dev/null || exit 1
for loss in 0 10; do
  "$LAB" loss "$NAME" "$loss" || exit 1
  free_scan_report "free network (router + 2 devices)"
done
"$LAB" down "$NAME"
