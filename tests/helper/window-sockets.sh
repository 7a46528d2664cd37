#!/usr/bin/env bash
# The window holds no packet socket: the real router-monitor in a lab namespace,
# with QT_PLUGIN_PATH pointing at an empty folder (where a hostile plugin would
# sit), monitoring. Every socket among its descriptors is checked against the
# packet sockets the namespace knows (/proc/net/packet); its helper child, which
# does hold one, must be router-monitor-arp. Run under scripts/with-x11.sh --tray.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/scripts/lib-desktop.sh"
NETLAB="$SRC/scripts/netlab.sh"

fail() { echo "FAIL: $*"; exit 1; }
pass() { echo "ok: $*"; }

[ "$(id -u)" -eq 0 ] || { echo "needs root for the network lab; skipping"; exit 77; }
for t in xdotool xwininfo setcap; do
  command -v $t >/dev/null || { echo "$t missing; skipping"; exit 77; }
done

WORK=$(mktemp -d /tmp/rm-wsock.XXXXXX)
LAB="ws$$"
MON=""
cleanup() {
  [ -n "$MON" ] && kill "$MON" 2>/dev/null && wait "$MON" 2>/dev/null
  "$NETLAB" down "$LAB" >/dev/null 2>&1
  rm -rf "$WORK"
}
trap cleanup EXIT

"$NETLAB" up "$LAB" --hosts 2 >/dev/null
rc=$?; [ $rc -eq 77 ] && exit 77; [ $rc -eq 0 ] || fail "lab did not come up"

P="$WORK/prog"
rm_make_program_folder "$P" "$BUILD" 2 1 40
cp "$BUILD/router-monitor-arp" "$P/" || fail "no router-monitor-arp in $BUILD"
setcap cap_net_raw+ep "$P/router-monitor-arp" || fail "setcap on the helper failed"
mkdir "$WORK/plugins"

( exec ip netns exec "$LAB-scan" env QT_PLUGIN_PATH="$WORK/plugins" "$P/router-monitor" ) \
  >"$WORK/monitor.log" 2>&1 &
MON=$!
W=$(rm_window 15) || fail "monitor window did not appear"
pass "window shown"
# 开始监视 (Command1): sweeps and probes start, and with them the helpers.
rm_click_twips "$W" $((5040 + 787)) $((2760 + 967))

packet_inodes() { ip netns exec "$LAB-scan" awk 'NR > 1 { print $NF }' /proc/net/packet | sort -u; }
socket_inodes() {
  for fd in /proc/"$1"/fd/*; do readlink "$fd"; done 2>/dev/null |
    sed -n 's/^socket:\[\([0-9]*\)\]$/\1/p' | sort -u
}
children() { ps -o pid= --ppid "$MON" | tr -d ' '; }

helpers=""
for _ in $(seq 50); do
  helpers=$(children)
  [ -n "$helpers" ] && [ -n "$(packet_inodes)" ] && break
  sleep 0.2
done
[ -n "$helpers" ] || fail "the window started no helper"
sleep 2   # a few monitoring cycles

packets=$(packet_inodes)
[ -n "$packets" ] || fail "no packet socket at all in the namespace: the check would prove nothing"
mine=$(socket_inodes "$MON")
[ -n "$mine" ] || fail "the window has no socket at all (is /proc readable?)"
shared=$(comm -12 <(echo "$packets") <(echo "$mine"))
[ -z "$shared" ] || fail "the window holds packet sockets: $shared"
pass "none of the window's $(echo "$mine" | wc -l) sockets is a packet socket"

held=""
for c in $(children); do
  exe=$(readlink "/proc/$c/exe")
  [ "$(basename "$exe")" = router-monitor-arp ] || fail "child $c of the window is $exe"
  [ -n "$(comm -12 <(echo "$packets") <(socket_inodes "$c"))" ] && held=1
done
[ -n "$held" ] || fail "no helper of the window holds the packet socket"
pass "the packet sockets belong to the window's router-monitor-arp children"
# Its probes and its sweeps share one helper: the helper's rate limit is the window's.
[ "$(children | wc -l)" -eq 1 ] || fail "the window runs $(children | wc -l) helpers: $(children | tr '\n' ' ')"
pass "one helper serves the window's probes and sweeps"
for c in $(children); do
  caps=$(awk '/^Cap(Eff|Prm|Inh|Amb):/ {print $2}' "/proc/$c/status" | sort -u)
  [ "$caps" = 0000000000000000 ] || fail "helper $c keeps capabilities: $caps"
done
pass "the helpers keep no capability"
echo "1 passed, 0 failed"
