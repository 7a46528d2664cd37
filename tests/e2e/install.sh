#!/usr/bin/env bash
# Installation: `cmake --install` into a fresh prefix gives one program folder
# (executables, the ARP helper, the fifteen settings files, the sounds), launcher
# links, a valid desktop entry, the icons and manual pages, nothing writable by
# group or others even under a lax umask, and a new prefix whose folders are
# 0755 under any umask; cap_net_raw lands on the helper alone
# and is taken off the window and the scan command; a second install keeps what
# the user saved; the program starts from its desktop entry's command (in a
# network lab of its own, on the virtual display this test runs on) and an
# ordinary user's sweep runs on raw ARP through the helper. The Debian package
# has a test of its own (package.sh).
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
# A stopped run cleans up too (the EXIT trap alone misses signals).
trap 'exit 130' INT TERM
fail() {
  echo "FAIL: $*"
  [ -s "$T/monitor.log" ] && sed 's/^/  monitor: /' "$T/monitor.log"
  exit 1
}
pass() { echo "ok: $*"; }

P="$T/prefix"
# A prefix as a system has it; what the install creates below it must not take
# a group-writable umask into its modes.
mkdir -m 0755 "$P" "$P/lib"
( umask 0002; cmake --install "$BUILD" --prefix "$P" >/dev/null ) || fail "cmake --install failed"
D="$P/lib/router-monitor"
for f in router-monitor router-monitor-scan router-monitor-arp; do [ -x "$D/$f" ] || fail "$f missing"; done
for f in 警告.wav 安全.wav; do [ -s "$D/$f" ] || fail "$f missing"; done
for n in 1 2 3 4 5 10 11 12 13 14 15 16 17 18 19; do [ -f "$D/savedata$n.ini" ] || fail "savedata$n.ini missing"; done
[ "$(od -An -tx1 "$D/savedata1.ini" | tr -d ' \n')" = 32300d0a ] || fail "savedata1.ini is not \"20\" CR LF"
[ "$(od -An -tx1 "$D/savedata4.ini" | tr -d ' \n')" = 0d0a ] || fail "savedata4.ini is not empty"
for f in router-monitor router-monitor-scan; do
  [ "$(readlink -f "$P/bin/$f")" = "$(readlink -f "$D/$f")" ] || fail "bin link $f"
  gzip -t "$P/share/man/man1/$f.1.gz" 2>/dev/null || fail "no manual page for $f"
done
pass "program folder complete"

shared=$(find "$P" -perm /022 ! -type l)
[ -z "$shared" ] || fail "installed with group or other write: $shared"
pass "nothing installed is writable by group or others"

# A prefix that does not exist yet, under the laxest umask and under the
# strictest: every folder the install makes, the prefix first, is 0755 (no
# other user may write there, every user may start the program), and every file
# is readable by all and writable by its owner alone.
for u in 0000 0077; do
  N="$T/new-$u"
  ( umask $u; cmake --install "$BUILD" --prefix "$N/usr" >/dev/null ) || fail "install under umask $u failed"
  bad=$(find "$N" -type d ! -perm 0755; find "$N" ! -type l ! -type d \( -perm /022 -o ! -perm -444 \))
  [ -z "$bad" ] || fail "umask $u left these modes: $(stat -c '%a %n' $bad)"
done
pass "a new prefix gets folders of mode 0755 under umask 0000 and 0077"

caps_of() { getcap "$1" 2>/dev/null | grep -o 'cap_[a-z_,]*[=+][a-z]*'; }
if [ "$(id -u)" -eq 0 ]; then
  caps_of "$D/router-monitor-arp" | grep -qx 'cap_net_raw[=+]ep' ||
    fail "the helper lacks cap_net_raw: $(getcap "$D/router-monitor-arp")"
  for f in router-monitor router-monitor-scan; do
    [ -z "$(caps_of "$D/$f")" ] || fail "$f carries a capability: $(getcap "$D/$f")"
  done
  pass "cap_net_raw on the helper only"
fi

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
# A capability an earlier install gave the window is taken back by the next one.
[ "$(id -u)" -eq 0 ] && setcap cap_net_raw+ep "$D/router-monitor"
cmake --install "$BUILD" --prefix "$P" >/dev/null || fail "second install failed"
[ "$(cat "$D/savedata1.ini")" = $'7\r' ] || fail "a second install replaced a saved setting"
pass "a second install keeps saved settings"
if [ "$(id -u)" -eq 0 ]; then
  [ -z "$(caps_of "$D/router-monitor")" ] || fail "a reinstall left cap_net_raw on the window"
  pass "a reinstall takes back a capability left on the window"
fi

# Started as the menu would start it, in the lab's scanner namespace.
"$NETLAB" up "$LAB" --hosts 0 >/dev/null
rc=$?
if [ $rc -eq 0 ]; then
  ( exec ip netns exec "$LAB-scan" "$exec_cmd" ) >"$T/monitor.log" 2>&1 &
  MON=$!
  W=$(rm_window 15) || fail "the installed program shows no window"
  rm_close_window "$W"
  rm_wait_exit "$MON" 15 || fail "the installed program did not end on close"
  MON=""
  pass "the installed program starts from its desktop entry and ends on close"

  # The helper's capability is what an ordinary user's sweep runs on.
  chmod 755 "$T" "$P" "$P/lib" "$D"
  out=$(ip netns exec "$LAB-scan" runuser -u nobody -- "$D/router-monitor-scan" 10.77.0. 1 5 2>&1)
  echo "$out" | grep -q "02-52-4D-00-FE-01" || fail "an ordinary user's sweep did not find the router: $out"
  echo "$out" | tail -n1 | grep -q "raw ARP" || fail "an ordinary user's sweep did not use raw ARP: $out"
  pass "an ordinary user sweeps by raw ARP through the installed helper"
elif [ $rc -ne 77 ]; then
  fail "lab did not come up"
else
  echo "skipped the start: no network namespaces here"
fi

echo "1 passed, 0 failed"
