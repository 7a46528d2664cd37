#!/usr/bin/env bash
# The monitor in a simulated home network: a router and two devices in Linux
# network namespaces (nothing touches this machine's own network), the real
# router-monitor running in the lab's own namespace, a stand-in download manager.
# Story: both devices are online (危险, the download manager is closed), both go
# offline (安全, it is started again and minimised), one comes back (危险).
#
# Without a display it starts a virtual one (Xvfb, openbox, a tray) and saves
# screenshots of those moments; with a display you watch it live (the demo
# clicks the window's buttons for you). Everything it made is removed at the end.
#   scripts/demo.sh [--out DIR]     (needs root for the network namespaces)
set -u
SRC="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$SRC/build"
OUT="$SRC/screenshots/demo-$(date +%Y%m%d-%H%M%S)"
INNER=0
while [ $# -gt 0 ]; do
  case "$1" in
    --out) OUT="$2"; shift ;;
    --inner) INNER=1 ;;
    *) echo "usage: $0 [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
[ "$(id -u)" -eq 0 ] || { echo "demo: the network lab needs root (try: sudo $0)" >&2; exit 1; }
[ -x "$BUILD/router-monitor" ] || { echo "demo: build first (./run.sh --demo does)" >&2; exit 1; }

LIVE=0
if [ $INNER = 0 ]; then
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    LIVE=1
  else
    echo "demo: no display; running on a virtual one and saving screenshots"
    exec "$SRC/scripts/with-x11.sh" --tray -- "$0" --inner --out "$OUT"
  fi
fi

source "$SRC/scripts/lib-desktop.sh"
NETLAB="$SRC/scripts/netlab.sh"
LAB="demo$$"
WORK=$(mktemp -d /tmp/rm-demo.XXXXXX)
MON=""; STANDIN=""
cleanup() {
  [ -n "$MON" ] && kill "$MON" 2>/dev/null
  [ -n "$STANDIN" ] && kill "$STANDIN" 2>/dev/null
  "$NETLAB" down "$LAB" >/dev/null 2>&1
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$OUT"
say() { echo "demo: $*"; }
moment() {  # name, what
  if [ $LIVE = 1 ]; then say "$2"; sleep 4; fi
  rm_screenshot "$OUT/$1.png" && say "$2 -> $OUT/$1.png"
}

say "building the home network (router 10.77.0.1, devices .11 and .12)"
"$NETLAB" up "$LAB" --hosts 2 >/dev/null || { say "could not build the lab"; exit 1; }

P="$WORK/prog"
if [ -x "$BUILD/rm-title-window" ]; then
  rm_make_program_folder "$P" "$BUILD" 3 1 40 "Demo迅雷 下载中" "Demo迅雷"
  "$P/downloader" >/dev/null &
  STANDIN=$!
else
  rm_make_program_folder "$P" "$BUILD" 3 1 40
fi

( exec ip netns exec "$LAB-scan" "$P/router-monitor" ) >"$WORK/monitor.log" 2>&1 &
MON=$!
W=$(rm_window 15) || { say "the monitor window did not appear"; cat "$WORK/monitor.log"; exit 1; }
moment 0-started "monitor started: router and own machine found"

[ -n "$STANDIN" ] && rm_click_twips "$W" $((5280 + 90)) $((5520 + 90))   # 监视下载
rm_click_twips "$W" $((5040 + 787)) $((2760 + 967))                        # 开始监视
rm_wait_verdict "$W" 20 red && moment 1-others-present "two devices online: 危险"

say "both devices go offline"
"$NETLAB" leave "$LAB" h1; "$NETLAB" leave "$LAB" h2
rm_wait_verdict "$W" 45 green && { sleep 2.5; moment 2-network-free "network free: 安全"; }

say "one device comes back"
"$NETLAB" join "$LAB" h1
rm_wait_verdict "$W" 20 red && moment 3-device-back "a device is back: 危险"
say "done; screenshots in $OUT"
