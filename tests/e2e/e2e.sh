#!/usr/bin/env bash
# End to end: the real router-monitor in a simulated home network, driven from
# outside with real mouse clicks on a virtual display with a window manager and
# a tray, as a user would. Run under scripts/with-x11.sh --tray.
#
# The program folder is a fresh copy of the executable and its sounds with
# settings of our own: period 2 s, range 1..40, and a stand-in download manager
# (rm-title-window) whose window title holds the fragment in savedata4.ini.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/scripts/lib-desktop.sh"
NETLAB="$SRC/scripts/netlab.sh"
FRAGMENT='E2E迅雷'
TITLE='E2E迅雷 下载中'

fail() { echo "FAIL: $*"; rm_screenshot "$WORK/failure.png" 2>/dev/null && echo "screenshot: $WORK/failure.png"; exit 1; }
pass() { echo "ok: $*"; }

[ "$(id -u)" -eq 0 ] || { echo "needs root for the network lab; skipping"; exit 77; }
for t in xdotool wmctrl xwininfo xprop import iconv; do
  command -v $t >/dev/null || { echo "$t missing; skipping"; exit 77; }
done

WORK=$(mktemp -d /tmp/rm-e2e.XXXXXX)
LAB="e2e$$"
MON=""; STANDIN=""
cleanup() {
  [ -n "$MON" ] && kill "$MON" 2>/dev/null
  [ -n "$STANDIN" ] && kill "$STANDIN" 2>/dev/null
  "$NETLAB" down "$LAB" >/dev/null 2>&1
  rm -rf "$WORK/prog"
}
trap cleanup EXIT

"$NETLAB" up "$LAB" --hosts 1 >/dev/null
rc=$?; [ $rc -eq 77 ] && exit 77; [ $rc -eq 0 ] || fail "lab did not come up"

# The program folder.
P="$WORK/prog"
rm_make_program_folder "$P" "$BUILD" 2 1 40 "$TITLE" "$FRAGMENT"
# Raw ARP is the helper's alone: it gets cap_net_raw, the window nothing.
cp "$BUILD/router-monitor-arp" "$P/" || fail "no router-monitor-arp in $BUILD"
setcap cap_net_raw+ep "$P/router-monitor-arp" || fail "setcap on the helper failed"
cp "$P"/savedata*.ini "$WORK/"   # what was loaded, for the save check

# The download manager is already running when monitoring starts.
"$BUILD/rm-title-window" "$TITLE" > "$WORK/standin.out" &
STANDIN=$!
rm_wait_titled "$FRAGMENT" 5 shown || fail "stand-in window did not appear"

( exec ip netns exec "$LAB-scan" "$P/router-monitor" ) > "$WORK/monitor.log" 2>&1 &
MON=$!
W=$(rm_window 15) || fail "monitor window did not appear"
pass "window shown"
# The window runs without any capability (its bounding set stays, so that the
# helper's file capability can take effect).
caps=$(awk '/^Cap(Eff|Prm|Inh|Amb):/ {print $2}' "/proc/$MON/status" | sort -u)
[ "$caps" = 0000000000000000 ] || fail "the running monitor keeps capabilities: $caps"
pass "no capability kept while the window runs"
[ -n "$(rm_tray_icon_centre)" ] || fail "no tray icon embedded"
pass "tray icon embedded"

# Tick 监视下载 (Check2), then press 开始监视 (Command1).
rm_click_twips "$W" $((5280 + 90)) $((5520 + 90))
rm_click_twips "$W" $((5040 + 787)) $((2760 + 967))
rm_wait_verdict "$W" 20 red || fail "no 危险 with another device present"
pass "危险 shown with another device present"
rm_wait_titled "$FRAGMENT" 6 gone || fail "the download manager's window was not closed"
pass "download manager's window closed"
rm_screenshot "$WORK/1-others-present.png"

# The device leaves: after ten empty sweeps the network is free.
"$NETLAB" leave "$LAB" h1
rm_wait_verdict "$W" 45 green || fail "no 安全 after the device left"
pass "安全 shown after the device left"
rm_wait_started_minimised "$FRAGMENT" 10 >/dev/null 2>"$WORK/why" || fail "$(cat "$WORK/why")"
pass "download manager started and minimised"
rm_screenshot "$WORK/2-network-free.png"

# 最小化 hides the window to the tray; a double-click on the icon brings it back.
W=$(rm_stage_tray_round_trip "$W" 2>"$WORK/why") || fail "$(cat "$WORK/why")"
pass "最小化 hides the window; a tray double-click shows it again"

# Change the last host number and save: every file byte-exact.
rm_stage_save "$W" "$P" "$WORK" 2>"$WORK/why" || fail "$(cat "$WORK/why")"
pass "保存全部设置 writes all fifteen files byte-exactly"

# Closing the window removes the tray icon and ends the process.
rm_stage_close "$W" "$MON" 2>"$WORK/why" || fail "$(cat "$WORK/why")"
MON=""
pass "closing the window ends the program and removes its icon"
echo "1 passed, 0 failed"
