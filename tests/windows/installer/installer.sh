#!/usr/bin/env bash
# The Windows installer under Wine, as a user meets it: a silent install into a
# fresh prefix, the installed monitor started from its folder, an upgrade with
# /STARTUP over the running monitor and the user's changed settings, and a
# silent uninstall. Run under scripts/with-x11.sh and `netlab.sh run`: every
# Wine process here, the prefix's server included, lives in the lab's scanner
# namespace, so the monitor sweeps the lab and nothing else.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/scripts/lib-desktop.sh"
SETUP="$BUILD/router-monitor-1.0.0-setup.exe"
STAGE="$BUILD/zip/router-monitor"   # what the zip holds: the installer packs the same files
LINK='路由器使用监视器.lnk'
KEY='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\router-monitor]'
SETTINGS=(savedata{1..5}.ini savedata{10..19}.ini)
PROGRAM_FILES=(router-monitor.exe router-monitor-scan.exe 警告.wav 安全.wav LICENSE.txt uninstall.exe)

fail() { echo "FAIL: $*"; [ -s "$WORK/monitor.log" ] && tail -n 20 "$WORK/monitor.log"; exit 1; }
pass() { echo "ok: $* (${SECONDS} s)"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

[ -n "${RM_LAB_NAME:-}" ] && [ -n "${DISPLAY:-}" ] || { echo "FAIL: run under with-x11.sh and netlab.sh run"; exit 1; }
[ -x /usr/lib/wine/wine64 ] || command -v wine >/dev/null || { echo "Wine is not installed; skipping"; exit 77; }
[ -f "$SETUP" ] || fail "no $SETUP (cmake --build $BUILD --target installer)"
[ "$SETUP" -nt "$BUILD/router-monitor.exe" ] || fail "$SETUP is older than router-monitor.exe"

WORK=$(mktemp -d /tmp/rm-wine-setup.XXXXXX)
PREFIX="$WORK/prefix"
SERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
MON=""
cleanup() {
  WINEPREFIX="$PREFIX" "$SERVER" -k 2>/dev/null
  [ -z "$MON" ] || rm_wait_exit "$MON" 5 || kill -9 "$MON" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
wine() { "$SRC/scripts/wine-run.sh" --prefix "$PREFIX" "$@"; }
# Wine writes user.reg when its server ends.
registry() { WINEPREFIX="$PREFIX" "$SERVER" -k 2>/dev/null; sleep 0.2; cat "$PREFIX/user.reg"; }
# The shortcut's target, in the ANSI path of its link information.
points_at_monitor() { grep -aqF 'AppData\Local\Programs\router-monitor\router-monitor.exe' "$1"; }

wine -- cmd /c exit 0 || fail "could not make the Wine prefix"
t=$(now_ms)
wine -- "$SETUP" /S || fail "the silent install failed ($?)"
INSTALL_MS=$(($(now_ms) - t))
HOME_DIR=$(find "$PREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n1)
DIR="$HOME_DIR/AppData/Local/Programs/router-monitor"
MENU="$HOME_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
for f in "$STAGE"/*; do cmp -s "$f" "$DIR/${f##*/}" || fail "${f##*/} is not installed as the zip has it"; done
[ -f "$DIR/uninstall.exe" ] || fail "no uninstall.exe"
pass "silent install: every file in %LOCALAPPDATA%\\Programs\\router-monitor (${INSTALL_MS} ms)"
points_at_monitor "$MENU/$LINK" || fail "the Start-menu shortcut does not point at router-monitor.exe"
[ -z "$(find "$MENU" -iname "$LINK" -ipath '*startup*')" ] || fail "a Startup shortcut nobody asked for"
pass "Start-menu shortcut to router-monitor.exe, none in Startup"
registry | KEY=$KEY awk 'index($0, ENVIRON["KEY"]) == 1 {on = 1; next} /^\[/ {on = 0} on' > "$WORK/key"
for v in '"DisplayName"=' '"DisplayVersion"="1.0.0"' '"Publisher"=' '"DisplayIcon"=".*router-monitor.exe,0"' \
  '"InstallLocation"=".*\\\\Programs\\\\router-monitor"' '"UninstallString"=".*uninstall.exe\\""' \
  '"QuietUninstallString"=".*uninstall.exe\\" /S"' '"NoModify"=dword:00000001' '"NoRepair"=dword:00000001' \
  '"EstimatedSize"=dword:'; do
  grep -q "^$v" "$WORK/key" || fail "the uninstall key lacks $v: $(cat "$WORK/key")"
done
pass "uninstall key in HKCU"

# The installed monitor, started as its shortcut starts it.
wine --network-ready -- "$DIR/router-monitor.exe" > "$WORK/monitor.log" 2>&1 &
MON=$!
rm_window 30 >/dev/null || fail "the installed monitor's window did not appear"
[ ! -e "$HOME_DIR/AppData/Roaming/router-monitor" ] || fail "settings went to %APPDATA%, not beside the program"
pass "the installed monitor shows its window, its settings beside it"

# An upgrade: the user's settings stay, the rest is replaced, and the running
# monitor is asked to close first.
printf '7\r\n' > "$DIR/savedata1.ini"
printf '\xd1\xb8\xc0\xd7\r\n' > "$DIR/savedata4.ini"   # 迅雷 in code page 936
echo damaged > "$DIR/router-monitor-scan.exe"
wine -- "$SETUP" /S /STARTUP || fail "the upgrade failed ($?)"
rm_wait_exit "$MON" 10 || fail "the running monitor was not closed"
MON=""
[ "$(od -An -tx1 "$DIR/savedata1.ini" "$DIR/savedata4.ini" | tr -d ' \n')" = 370d0ad1b8c0d70d0a ] ||
  fail "the user's settings were not kept"
cmp -s "$STAGE/router-monitor-scan.exe" "$DIR/router-monitor-scan.exe" || fail "the upgrade kept an old program file"
pass "upgrade closes the running monitor, keeps the settings and replaces the programs"
STARTUP=$(find "$MENU" -iname "$LINK" -ipath '*startup*' | head -n1)
[ -n "$STARTUP" ] && points_at_monitor "$STARTUP" || fail "/STARTUP made no Startup shortcut to the monitor"
pass "/STARTUP adds the Startup shortcut"

# The uninstaller starts a copy of itself from the temporary folder and
# returns at once: its work shows as files going.
t=$(now_ms)
wine -- "$DIR/uninstall.exe" /S || fail "the silent uninstall failed ($?)"
for _ in $(seq 100); do [ -e "$DIR/uninstall.exe" ] || break; sleep 0.2; done
UNINSTALL_MS=$(($(now_ms) - t))
for f in "${PROGRAM_FILES[@]}"; do [ ! -e "$DIR/$f" ] || fail "$f is left after the uninstall"; done
[ -z "$(find "$MENU" -iname "$LINK")" ] || fail "a shortcut is left after the uninstall"
! registry | grep -qF "$KEY" || fail "the uninstall key is left"
for f in "${SETTINGS[@]}"; do [ -f "$DIR/$f" ] || fail "a silent uninstall deleted the user's $f"; done
pass "silent uninstall removes programs, shortcuts and key, keeps the settings (${UNINSTALL_MS} ms)"
echo "1 passed, 0 failed"
