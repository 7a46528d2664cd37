#!/usr/bin/env bash
# ProbeMac figures in the network lab: present, absent and departed hosts on the
# raw ARP path and the unprivileged kernel path, beside arp-scan as the peer.
#   bench/probe-bench.sh [BUILD_DIR]     (default: build; needs root)
# Expected: present well under 50 ms; absent "False" within 1.1 s; a host that
# left 5 s earlier "False" on the raw path (the kernel path answers from its
# cache until the entry stops being REACHABLE, which is printed).
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
[ -x "$build/probe_bench" ] || ninja -C "$build" probe_bench
command -v arp-scan >/dev/null || { echo "probe-bench: arp-scan is not installed" >&2; exit 77; }
exec "$here/../scripts/netlab.sh" run auto --hosts 3 -- "$build/probe_bench"
