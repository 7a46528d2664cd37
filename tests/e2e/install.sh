#!/usr/bin/env bash
# Installation: `cmake --install` into a fresh prefix gives one program folder
# (executables, the fifteen settings files, the sounds), a launcher link, a valid
# desktop entry and the icons; a second install keeps what the user saved; the
# program starts from its desktop entry's command (in a network lab of its own,
# on the virtual display this test runs on); CPack builds the Debian package.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/scripts/lib-desktop.sh"
NETLAB="$SRC/scripts/netlab.sh"

T=$(mktemp -d /tmp/rm-install.XXXXXX)
LAB="in$$"
MON=""
cleanup() {
  [ -n "$MON" ] && kill "$MON" 2>/dev/null
  "$NETLAB" down "$LAB" >/dev/null 2>&1
  rm -rf "$T"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
pass() { echo "ok: $*"; }

P="$T/prefix"
cmake --install "$BUILD" --prefix "$P" >/dev/null || fail "cmake --install failed"
D="$P/lib/router-monitor"
for f in router-monitor router-monitor-scan; do [ -x "$D/$f" ] || fail "$f missing"; done
for f in 警告.wav 安全.wav; do [ -s "$D/$f" ] || fail "$f missing"; done
for n in 1 2 3 4 5 10 11 12 13 14 15 16 17 18 19; do [ -f "$D/savedata$n.ini" ] || fail "savedata$n.ini missing"; done
[ "$(od -An -tx1 "$D/savedata1.ini" | tr -d ' \n')" = 32300d0a ] || fail "savedata1.ini is not \"20\" CR LF"
[ "$(od -An -tx1 "$D/savedata4.ini" | tr -d ' \n')" = 0d0a ] || fail "savedata4.ini is not empty"
[ "$(readlink -f "$P/bin/router-monitor")" = "$(readlink -f "$D/router-monitor")" ] || fail "bin link"
pass "program folder complete"

desktop="$P/share/applications/router-monitor.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry does not validate"
fi
exec_cmd=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$exec_cmd" ] || fail "desktop entry runs $exec_cmd, which is not there"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$P/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "icon $icon not installed"
pass "desktop entry and icon"

printf '7\r\n' > "$D/savedata1.ini"
cmake --install "$BUILD" --prefix "$P" >/dev/null || fail "second install failed"
[ "$(cat "$D/savedata1.ini")" = $'7\r' ] || fail "a second install replaced a saved setting"
pass "a second install keeps saved settings"

# Started as the menu would start it, in the lab's scanner namespace.
"$NETLAB" up "$LAB" --hosts 0 >/dev/null
rc=$?
if [ $rc -eq 0 ]; then
  ( exec ip netns exec "$LAB-scan" "$exec_cmd" ) >"$T/monitor.log" 2>&1 &
  MON=$!
  W=$(rm_window 15) || { cat "$T/monitor.log"; fail "the installed program shows no window"; }
  rm_close_window "$W"
  rm_wait_exit "$MON" 15 || fail "the installed program did not end on close"
  MON=""
  pass "the installed program starts from its desktop entry and ends on close"

  # The capability the install grants is what an ordinary user's sweep runs on.
  chmod 755 "$T" "$P" "$P/lib" "$D"
  out=$(ip netns exec "$LAB-scan" runuser -u nobody -- "$D/router-monitor-scan" 10.77.0. 1 5 2>&1)
  echo "$out" | grep -q "02-52-4D-00-FE-01" || fail "an ordinary user's sweep did not find the router: $out"
  echo "$out" | tail -n1 | grep -q "raw ARP" || fail "an ordinary user's sweep did not use raw ARP: $out"
  pass "an ordinary user sweeps by raw ARP through the installed capability"
elif [ $rc -ne 77 ]; then
  fail "lab did not come up"
else
  echo "skipped the start: no network namespaces here"
fi

cpack --config "$BUILD/CPackConfig.cmake" -B "$T/pkg" >/dev/null 2>&1 || fail "cpack failed"
deb=$(ls "$T"/pkg/*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "no Debian package"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for want in ./usr/lib/router-monitor/router-monitor ./usr/lib/router-monitor/savedata19.ini \
            ./usr/share/applications/router-monitor.desktop ./usr/bin/router-monitor; do
  echo "$contents" | grep -qx "$want" || fail "package lacks $want"
done
echo "$contents" | grep -qv '^\./usr/' && fail "package holds files outside /usr"
dpkg-deb -e "$deb" "$T/ctl" && [ -x "$T/ctl/postinst" ] || fail "package has no postinst"
pass "Debian package"
echo "1 passed, 0 failed"
