#!/usr/bin/env bash
# End to end: router-monitor.exe as users get it (unpacked from the zip) under
# Wine in a simulated home network, beside a stand-in download manager that is
# itself a Windows program, driven from outside with real mouse clicks on a
# virtual display with a window manager and a tray. Run under
# scripts/with-x11.sh --tray.
#
# Wine's sockets and network tables belong to its wineserver, and the server
# lives in the network namespace it was started in; so the prefix is made here,
# fresh, by a Wine process started inside the lab's scanner namespace, and both
# Windows programs run on that one server (EnumWindows sees only its windows).
# Screenshots of each stage go to BUILD/windows-e2e/.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/scripts/lib-desktop.sh"
NETLAB="$SRC/scripts/netlab.sh"
WINE_RUN="$SRC/scripts/wine-run.sh"
ZIP="$BUILD/router-monitor-1.0.0-win64.zip"
STANDIN_EXE="$BUILD/rm-standin-downloader.exe"
FRAGMENT='E2E迅雷'
# The stand-in's compiled-in title: the monitor starts it without arguments.
TITLE='E2E迅雷 下载中'

SHOTS="$BUILD/windows-e2e"
fail() {
  echo "FAIL: $*"
  rm_screenshot "$SHOTS/failure.png" 2>/dev/null && echo "screenshot: $SHOTS/failure.png"
  for f in "$WORK"/*.log "$DM"/standin.log; do
    [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }
  done
  exit 1
}
pass() { echo "ok: $* (${SECONDS} s)"; }
# Colour of the tray icon from a screenshot: red (alarm icons), green (the
# window icon at rest) or other.
tray_icon_colour() {
  local cx cy
  read -r cx cy < <(rm_tray_icon_centre) || { echo none; return; }
  import -silent -window root png:- 2>/dev/null |
    convert - -crop 24x24+$((cx - 12))+$((cy - 12)) +repage -format %c histogram:info:- 2>/dev/null |
    awk '{ n = $1 + 0; split($2, c, /[(),]/); r = c[2]; g = c[3]; b = c[4]
           if (r > 150 && g < 90 && b < 90) red += n; else if (g > 120 && r < 110 && b < 110) green += n }
         END { if (red > 20 && red > green) print "red"; else if (green > 20) print "green"; else print "other" }'
}

[ "$(id -u)" -eq 0 ] || { echo "needs root for the network lab; skipping"; exit 77; }
[ -x /usr/lib/wine/wine64 ] || command -v wine >/dev/null || { echo "Wine is not installed; skipping"; exit 77; }
for t in xdotool wmctrl xwininfo xprop import convert iconv; do
  command -v $t >/dev/null || { echo "FAIL: $t is missing (scripts/install-deps.sh installs it)"; exit 1; }
done
[ -f "$ZIP" ] || { echo "FAIL: no $ZIP (cmake --build $BUILD --target package)"; exit 1; }
[ -f "$STANDIN_EXE" ] || { echo "FAIL: no $STANDIN_EXE"; exit 1; }
[ "$ZIP" -nt "$BUILD/router-monitor.exe" ] || { echo "FAIL: $ZIP is older than router-monitor.exe"; exit 1; }

WORK=$(mktemp -d /tmp/rm-wine-e2e.XXXXXX)
LAB="we$$"
PREFIX="$WORK/prefix"
DM="$WORK/迅雷5"   # a folder name outside ASCII, so the path in savedata5.ini needs code page 936
SERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
MON=""; STANDIN=""
cleanup() {
  # The server takes every process of the prefix with it: the monitor and any
  # stand-in it started.
  WINEPREFIX="$PREFIX" "$SERVER" -k 2>/dev/null
  for p in $MON $STANDIN; do rm_wait_exit "$p" 5 || kill -9 "$p" 2>/dev/null; done
  "$NETLAB" down "$LAB" >/dev/null 2>&1
  rm -rf "$WORK"
}
trap cleanup EXIT
rm -rf "$SHOTS"
mkdir -p "$SHOTS"

"$NETLAB" up "$LAB" --hosts 1 >/dev/null
rc=$?; [ $rc -eq 77 ] && exit 77; [ $rc -eq 0 ] || fail "lab did not come up"

# Runs a Windows program in the lab's scanner namespace on the test's prefix;
# only ever started with &, where the exec makes $! the Wine process itself.
# The first one (--network-ready) also keeps the prefix's server and waits for
# Wine's network service, so that the monitor's first address-table read finds it.
in_lab_wine() { exec ip netns exec "$LAB-scan" "$WINE_RUN" --prefix "$PREFIX" "$@"; }
# Path of a Linux file as Wine's Z: drive shows it.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
# One settings file: the text in code page 936 (GB18030 for what 936 lacks), CR LF.
write_setting() { printf '%s\r\n' "$2" | iconv -f UTF-8 -t GB18030 > "$P/savedata$1.ini" || fail "iconv"; }
starts() { [ -f "$DM/standin.log" ] && grep -c "^start " "$DM/standin.log" || echo 0; }

# The program folder, as the zip unpacks, with settings of our own: period 2 s,
# range 1..40, the stand-in's path and title fragment.
(cd "$WORK" && cmake -E tar xf "$ZIP") || fail "could not unpack $ZIP"
P="$WORK/router-monitor"
for f in router-monitor.exe router-monitor-scan.exe 警告.wav 安全.wav; do
  [ -f "$P/$f" ] || fail "the zip has no router-monitor/$f"
done
mkdir -p "$DM" && cp "$STANDIN_EXE" "$DM/" || fail "could not copy the stand-in"
write_setting 1 2
write_setting 2 1
write_setting 3 40
write_setting 4 "$FRAGMENT"
write_setting 5 "$(windows_path "$DM/rm-standin-downloader.exe")"
mkdir -p "$WORK/loaded" && cp "$P"/savedata*.ini "$WORK/loaded/"   # for the save check

# The download manager is already running when monitoring starts. Its first
# start makes the prefix (about 10-20 s).
in_lab_wine --network-ready -- "$DM/rm-standin-downloader.exe" > "$WORK/standin.log" 2>&1 &
STANDIN=$!
rm_wait_titled "$FRAGMENT" 60 shown || fail "the stand-in's window did not appear"
pass "stand-in download manager shown"

in_lab_wine -- "$P/router-monitor.exe" > "$WORK/monitor.log" 2>&1 &
MON=$!
W=$(rm_window 30) || fail "the monitor's window did not appear"
pass "window shown"
# The window's X window is its client area (the frame is the window manager's).
read -r _ _ cw ch < <(xwininfo -id "$W" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print 0, 0, w, h}')
[ "$cw" = 446 ] && [ "$ch" = 418 ] || fail "client area is ${cw}x${ch}, not 446x418"
pass "client area 446x418"
icon=""
for _ in $(seq 50); do icon=$(rm_tray_icon_centre) && break; sleep 0.2; done
[ -n "$icon" ] || fail "no tray icon docked"
pass "tray icon docked"
rm_screenshot "$SHOTS/0-started.png"

# Tick 监视下载 (Check2), then press 开始监视 (Command1).
rm_click_twips "$W" $((5280 + 90)) $((5520 + 90))
rm_click_twips "$W" $((5040 + 787)) $((2760 + 967))
rm_wait_verdict "$W" 30 red || fail "no 危险 with another device present"
pass "危险 shown with another device present"
# Check4 (flashing) is unticked: the alarm icon stays.
[ "$(tray_icon_colour)" = red ] || fail "the tray icon is $(tray_icon_colour), not the red alarm icon"
pass "tray icon shows the alarm"
rm_wait_exit "$STANDIN" 10 || fail "the download manager was not closed"
STANDIN=""
[ -z "$(rm_windows_titled "$FRAGMENT")" ] || fail "a window titled $FRAGMENT stayed"
pass "download manager's window closed (its process ended)"
rm_screenshot "$SHOTS/1-others-present.png"

# The device leaves. Wine has no SendARP, so the scanner counts REACHABLE
# neighbour entries: the kernel keeps the gone host's entry reachable for up
# to 45 s, then ten empty sweeps give the verdict.
"$NETLAB" leave "$LAB" h1
rm_wait_verdict "$W" 100 green || fail "no 安全 after the device left"
pass "安全 shown after the device left"
[ "$(tray_icon_colour)" = green ] || fail "the tray icon is $(tray_icon_colour), not the window icon at rest"
pass "tray icon back at rest"
rm_wait_started_minimised "$FRAGMENT" 15 >/dev/null 2>"$WORK/why" || fail "$(cat "$WORK/why")"
[ "$(starts)" = 2 ] || fail "the stand-in started $(starts) times, not twice"
# The launcher asks for SW_SHOWMINNOACTIVE (7) through STARTUPINFO.
grep '^start ' "$DM/standin.log" | tail -n1 | grep -q 'show=7' ||
  fail "the download manager was not started with SW_SHOWMINNOACTIVE: $(grep '^start ' "$DM/standin.log" | tail -n1)"
pass "download manager started minimised without activation"
rm_screenshot "$SHOTS/2-network-free.png"
# Once per closing: the next free verdict starts nothing more. A free cycle is
# the 2 s period and ten sweeps of 1.5 s, so 20 s hold at least one verdict.
sleep 20
[ "$(rm_verdict_colour "$W")" = green ] || fail "安全 did not hold while the network stayed free"
[ "$(starts)" = 2 ] || fail "the download manager was started again while it ran ($(starts) starts)"
pass "no second start while the network stays free"

# A device comes back: 危险 again and the download manager closed again.
"$NETLAB" join "$LAB" h1
rm_wait_verdict "$W" 30 red || fail "no 危险 after the device came back"
pass "危险 shown after the device came back"
rm_wait_titled "$FRAGMENT" 10 gone || fail "the restarted download manager's window was not closed"
pass "download manager closed again"
rm_screenshot "$SHOTS/3-device-back.png"

# 最小化 hides the window to the tray; a double-click on the icon brings it back.
W=$(rm_stage_tray_round_trip "$W" 2>"$WORK/why") || fail "$(cat "$WORK/why")"
pass "最小化 hides the window; a tray double-click shows it again"

# Change the last host number and save: every file byte-exact, the Chinese
# fragment and path back in GB18030 as they were loaded, beside the program.
rm_stage_save "$W" "$P" "$WORK/loaded" 2>"$WORK/why" || fail "$(cat "$WORK/why")"
[ -z "$(find "$PREFIX/drive_c/users" -path '*router-monitor*' 2>/dev/null)" ] ||
  fail "settings went to %APPDATA% although the program folder is writable"
pass "保存全部设置 writes all fifteen files byte-exactly beside the program"

# Closing the window removes the tray icon and ends the process.
rm_stage_close "$W" "$MON" 2>"$WORK/why" || fail "$(cat "$WORK/why")"
MON=""
pass "closing the window ends the program and removes its icon"
echo "1 passed, 0 failed"
