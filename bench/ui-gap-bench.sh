#!/usr/bin/env bash
# ui-gap-bench.sh [BUILD_DIR] [SCANS]: the longest gap of the UI thread's event
# loop while the monitor scans for real, in a network lab of its own (three
# hosts present for SCANS scans, then gone for one scan of ten sweeps). Needs
# root for the lab; the lab is torn down whatever happens. Prints the figures.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
scans="${2:-3}"
bin="$build/ui_gap_bench"
[ -x "$bin" ] || { echo "ui-gap-bench: build the target ui_gap_bench in $build first" >&2; exit 2; }
exec "$here/../scripts/netlab.sh" run auto --hosts 3 -- \
  env QT_QPA_PLATFORM=offscreen "$bin" "$scans"
