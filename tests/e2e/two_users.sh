#!/usr/bin/env bash
# Two ordinary users on one machine with the Debian package installed: the
# second does everything in its power to change what the first one's monitor
# loads or starts, and fails. Its writes to the shipped defaults and to the
# first user's settings are refused by the system; files that another user
# could have written are refused by the monitor at load; the helper refuses to
# run for a user outside the group router-monitor. The first user's monitor,
# started for real (in a network lab of its own, on the virtual display this
# test runs on), seeds its settings from the defaults, loads what its user
# saved, and starts its user's download manager, nobody else's.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/scripts/lib-desktop.sh"
source "$SRC/tests/e2e/lib-package.sh"
NETLAB="$SRC/scripts/netlab.sh"

[ "$(id -u)" -eq 0 ] || { echo "needs root (users, a system package, the lab); skipping"; exit 77; }
for t in useradd userdel setpriv xdotool import; do
  command -v $t >/dev/null || { echo "$t missing; skipping"; exit 77; }
done

T=$(mktemp -d /tmp/rm-users.XXXXXX)
chmod 0755 "$T"
LAB="tu$$"
U1="rmone$$"
U2="rmtwo$$"
MON=""
USERS_MADE=()
cleanup() {
  [ -n "$MON" ] && kill "$MON" 2>/dev/null
  "$NETLAB" down "$LAB" >/dev/null 2>&1
  for u in "${USERS_MADE[@]}"; do userdel -r "$u" >/dev/null 2>&1; done
  rm_package_remove
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

# Runs a shell command as user $1. setpriv still holds root's capabilities
# when it executes its command; the shell it starts runs as the user alone.
as() {
  local u=$1
  shift
  setpriv --reuid="$u" --regid="$u" --init-groups -- sh -c "$@"
}
# Expects command $2 (as user $1) to be refused by the system.
refused() {
  local out
  out=$(as "$1" "$2" 2>&1) && fail "$1 could: $2"
  echo "$out" | grep -Eq 'Permission denied|Operation not permitted' || fail "$2 failed otherwise: $out"
}

deb=$(rm_package_build "$T/pkg") || fail "cpack failed"
rm_package_lock || fail "another installation test holds the package lock"
if ! rm_package_install "$deb"; then
  [ -n "$RM_PKG_SKIP" ] && { echo "$RM_PKG_SKIP; skipping"; exit 77; }
  fail "dpkg -i failed: $RM_PKG_LOG"
fi
D=/usr/lib/router-monitor

# User 1 uses the monitor and has been given raw ARP; user 2 has not.
H1="$T/home1"
H2="$T/home2"
useradd -m -d "$H1" -s /bin/sh -G router-monitor "$U1" || fail "useradd $U1"
USERS_MADE+=("$U1")
useradd -m -d "$H2" -s /bin/sh "$U2" || fail "useradd $U2"
USERS_MADE+=("$U2")
# A home everybody may read, as many systems make them: the settings folder
# must protect itself.
chmod 0755 "$H1" "$H2"
C1="$H1/.config/router-monitor"

"$NETLAB" up "$LAB" --hosts 0 >/dev/null
rc=$?
[ $rc -eq 77 ] && exit 77
[ $rc -eq 0 ] || fail "lab did not come up"

# Starts user 1's monitor in the lab; its pid in MON.
start_monitor() {
  ( exec ip netns exec "$LAB-scan" setpriv --reuid="$U1" --regid="$U1" --init-groups -- \
      env -i LANG=C.UTF-8 HOME="$H1" USER="$U1" LOGNAME="$U1" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" \
      QT_QPA_PLATFORM=xcb /usr/bin/router-monitor ) >>"$T/monitor.log" 2>&1 &
  MON=$!
}
stop_monitor() {
  kill "$MON" 2>/dev/null
  rm_wait_exit "$MON" 10 || fail "user 1's monitor did not end"
  MON=""
}
# The window of a message box of the monitor, waiting up to $1 s.
message_box() {
  local deadline=$((SECONDS + $1)) w
  while [ $SECONDS -lt $deadline ]; do
    kill -0 "$MON" 2>/dev/null || return 1
    for w in $(xdotool search --onlyvisible --pid "$MON" 2>/dev/null); do
      [ "$(xdotool getwindowname "$w")" != "$RM_CAPTION" ] && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}

# First start: the settings folder is made, private, and seeded with the
# defaults' bytes.
start_monitor
W=$(rm_window 20) || fail "user 1's monitor shows no window"
rm_close_window "$W"
rm_wait_exit "$MON" 15 || fail "user 1's monitor did not end on close"
MON=""
[ "$(stat -c '%U %a' "$C1")" = "$U1 700" ] || fail "settings folder is $(stat -c '%U %a' "$C1")"
for n in 1 2 3 4 5 10 11 12 13 14 15 16 17 18 19; do
  f="$C1/savedata$n.ini"
  cmp -s "$f" "$D/savedata$n.ini" || fail "savedata$n.ini is not a copy of the default"
  [ "$(stat -c '%U' "$f")" = "$U1" ] || fail "savedata$n.ini is not user 1's"
  [ $(( 0$(stat -c '%a' "$f") & 022 )) -eq 0 ] || fail "savedata$n.ini may be written by others"
done
pass "first start seeds user 1's private settings folder with the defaults"

# User 1's own settings: a period of 1 s, a short range, and its download manager.
cat >"$T/dm.sh" <<EOF
#!/bin/sh
id -un > "\$HOME/dm-started"
EOF
install -o "$U1" -g "$U1" -m 0755 "$T/dm.sh" "$H1/dm.sh"
as "$U1" "printf '1\r\n' > '$C1/savedata1.ini' && printf '1\r\n' > '$C1/savedata2.ini' &&
  printf '5\r\n' > '$C1/savedata3.ini' && printf '%s\r\n' '$H1/dm.sh' > '$C1/savedata5.ini'" ||
  fail "user 1 cannot write its own settings"
cp "$C1/savedata5.ini" "$T/saved5"
install -o "$U2" -g "$U2" -m 0755 "$T/dm.sh" "$H2/evil.sh"

# User 2 against the shipped defaults and the program folder.
refused "$U2" "printf '%s\r\n' '$H2/evil.sh' > '$D/savedata5.ini'"
refused "$U2" "printf 'x' > '$D/planted.ini'"
refused "$U2" "rm -f '$D/savedata5.ini'"
refused "$U2" "chmod 0666 '$D/savedata5.ini'"
# ... against user 1's settings.
refused "$U2" "printf '%s\r\n' '$H2/evil.sh' > '$C1/savedata5.ini'"
refused "$U2" "ls '$C1'"
refused "$U2" "rm -rf '$H1/.config'"
refused "$U2" "mv '$H1/.config' '$H2/moved'"
refused "$U2" "ln -s '$H2' '$H1/.config2'"
refused "$U2" "chmod 0777 '$C1'"
pass "user 2 can write neither the defaults nor user 1's settings"
# ... and against the helper.
out=$(as "$U2" "exec '$D/router-monitor-arp'" 2>&1)
rc=$?
[ $rc -eq 126 ] && echo "$out" | grep -q 'Permission denied' ||
  fail "user 2 ran the helper (status $rc): $out"
pass "the helper refuses to run for user 2, outside the group router-monitor"

# Files that another user could have written are refused at load: one of user
# 2's own (as a broken tool or a shared folder might leave it), then one of
# user 1's that others may write.
check_refused() {
  start_monitor
  message_box 20 >/dev/null || fail "no refusal shown for $1"
  rm_window 0 >/dev/null && fail "the window opened with $1"
  stop_monitor
  [ -e "$H1/dm-started" ] && fail "a program was started with $1"
  pass "user 1's monitor refuses $1"
}
install -o "$U2" -g "$U2" -m 0644 /dev/null "$T/planted"
printf '%s\r\n' "$H2/evil.sh" >"$T/planted"
cp -p "$C1/savedata4.ini" "$T/saved4"
cp "$T/planted" "$C1/savedata4.ini" && chown "$U2:$U2" "$C1/savedata4.ini"
check_refused "a settings file owned by user 2"
cp -p "$T/saved4" "$C1/savedata4.ini"
chmod 0666 "$C1/savedata5.ini"
check_refused "a settings file others may write"
chmod 0644 "$C1/savedata5.ini"

# User 1's monitor loads user 1's settings and starts user 1's download manager.
cmp -s "$C1/savedata5.ini" "$T/saved5" || fail "user 1's saved download manager changed"
dpkg --verify router-monitor >"$T/verify" 2>&1
[ -s "$T/verify" ] && fail "installed files changed: $(cat "$T/verify")"
start_monitor
W=$(rm_window 20) || fail "user 1's monitor shows no window"
# Tick 监视下载 (Check2), then press 开始监视 (Command1).
rm_click_twips "$W" $((5280 + 90)) $((5520 + 90))
rm_click_twips "$W" $((5040 + 787)) $((2760 + 967))
rm_wait_verdict "$W" 60 green || fail "no 安全 in a lab without other hosts"
for _ in $(seq 100); do [ -s "$H1/dm-started" ] && break; sleep 0.2; done
[ "$(cat "$H1/dm-started" 2>/dev/null)" = "$U1" ] ||
  fail "user 1's download manager was not started: $(cat "$H1/dm-started" 2>/dev/null)"
rm_close_window "$W"
rm_wait_exit "$MON" 15 || fail "user 1's monitor did not end on close"
MON=""
pass "user 1's monitor loads user 1's settings and starts user 1's download manager"
echo "1 passed, 0 failed"
