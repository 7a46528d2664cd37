#!/usr/bin/env bash
# The Win32 tray host under Wine against a real XEmbed tray (trayer) on a
# display of the test's own: Shell_NotifyIconW's icon docks in the tray as an X
# window of Wine's shell, shows the program's picture and tip, reports the
# double-click, goes away on delete, comes back when the shell announces
# TaskbarCreated after losing it, and is docked again into a tray that was
# restarted. The host runs in win32_tray_probe.exe, one Wine process for all
# cases, in a Wine prefix made here and removed afterwards.
#   with-x11.sh -- tray-dock.sh path/to/win32_tray_probe.exe
# Exit status: 0 all passed, 1 a check failed, 77 a tool is missing.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$here/../../scripts
probe=${1:?usage: tray-dock.sh win32_tray_probe.exe}
command -v wine >/dev/null || [ -x /usr/lib/wine/wine64 ] ||
  { echo "tray-dock: wine is not installed; skipping" >&2; exit 77; }
for t in trayer xwininfo xprop xdotool import convert; do
  command -v "$t" >/dev/null || { echo "tray-dock: $t is not installed; skipping" >&2; exit 77; }
done
[ -n "${DISPLAY:-}" ] || { echo "tray-dock: needs a display (run under with-x11.sh)" >&2; exit 2; }
# shellcheck source=../../scripts/lib-desktop.sh
source "$scripts/lib-desktop.sh"
TIP='Tesk网监视'

dir=$(mktemp -d /tmp/rm-tray-dock.XXXXXX)
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
tray_pid=""
probe_pid=""
cleanup() {
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  [ -x "$server" ] && WINEPREFIX=$dir/prefix "$server" -k 2>/dev/null
  [ -n "$tray_pid" ] && { kill "$tray_pid" 2>/dev/null; wait "$tray_pid" 2>/dev/null; }
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# shellcheck source=lib-probe.sh
source "$here/lib-probe.sh"
now_ms() { date +%s%3N; }

start_tray() {
  trayer --edge top --align right --widthtype pixel --width 120 --height 32 \
    --SetDockType true --transparent false --tint 0x404040 >/dev/null 2>&1 &
  tray_pid=$!
  local _
  for _ in $(seq 100); do
    [ -n "$(panel)" ] && return 0
    sleep 0.05
  done
  return 1
}
panel() { xwininfo -root -tree 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}'; }

# Wine's windows inside the tray's panel that are larger than the panel's own
# 1x1 placeholder: the docked icons. One "ID WxH+X+Y(absolute)" line each.
docked() {
  local p
  p=$(panel)
  [ -n "$p" ] || return 0
  xwininfo -id "$p" -tree 2>/dev/null | awk '
    /\("explorer\.exe" "explorer\.exe"\)/ {
      for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+/) { geo = $i; abs = $(i + 1) }
      split(geo, g, /[x+]/)
      if (g[1] > 1 && g[2] > 1) print $1, g[1] "x" g[2] abs
    }'
}
# Waits up to $2 s for $1 docked icons; prints the milliseconds it took.
wait_docked() {
  local want=$1 deadline=$(($(now_ms) + $2 * 1000)) start
  start=$(now_ms)
  while :; do
    [ "$(docked | wc -l)" -eq "$want" ] && { echo $(($(now_ms) - start)); return 0; }
    [ "$(now_ms)" -ge $deadline ] && return 1
    sleep 0.05
  done
}
# "green", "red" or "other": the dominant saturated colour of the docked icon.
icon_colour() {
  local geo
  geo=$(docked | head -n1 | awk '{print $2}')
  [ -n "$geo" ] || { echo none; return; }
  import -silent -window root png:- 2>/dev/null | convert - -crop "$geo" +repage \
    -format %c histogram:info:- 2>/dev/null | awk '
    /^ *[0-9]+: *\(/ {
      n = $1 + 0; s = $0
      sub(/^[^(]*\(/, "", s); sub(/\).*/, "", s); split(s, c, /, */)
      r = c[1] + 0; g = c[2] + 0; b = c[3] + 0
      if (g > r + 60 && g > b + 60) green += n
      if (r > g + 60 && r > b + 60) red += n
    }
    END { if (green > 20 && green > 2 * red) print "green"; else if (red > 20 && red > 2 * green) print "red"; else print "other" }'
}

start_tray || { echo "tray-dock: trayer did not start" >&2; exit 1; }

# The prefix is made on this display by the probe's first start (wine-run.sh).
t0=$(now_ms)
coproc PROBE { exec "$scripts/wine-run.sh" --prefix "$dir/prefix" -- "$probe" 2>/dev/null; }
probe_pid=$PROBE_PID
answer ready 120 || { echo "tray-dock: the probe did not start" >&2; exit 1; }
echo "probe ready after $(($(now_ms) - t0)) ms (prefix made)"

# 1. Added, the icon docks in the tray, with the program's window icon (green arrow).
{ ask 'add window' added; [ "$got" = "added 1" ]; } || fail "Shell_NotifyIconW(NIM_ADD) failed"
if ms=$(wait_docked 1 15); then
  pass "icon docked in trayer after $ms ms: $(docked)"
else
  fail "no icon docked in the tray's panel: $(xwininfo -root -tree | grep -c explorer.exe) Wine windows"
  exit 1
fi
colour=$(icon_colour)
[ "$colour" = green ] && pass "docked icon shows the window icon" || fail "docked icon colour $colour, want green"

# 2. Pointing at it shows the program's tip.
read -r cx cy < <(rm_tray_icon_centre)
tips=""
for _ in 1 2 3 4; do
  xdotool mousemove "$cx" "$cy" sleep 0.1 mousemove $((cx + 1)) "$cy"
  sleep 1
  ask tips tips 10
  tips=$lines
  grep -qxF "tip $TIP" <<<"$tips" && break
done
grep -qxF "tip $TIP" <<<"$tips" && pass "tooltip shows $TIP" || fail "tooltip: ${tips:-nothing}"

# 3. A double-click on the docked icon reaches the host as WM_LBUTTONDBLCLK (515).
xdotool click --repeat 2 --delay 80 1
sleep 0.5
ask mouse mouse
[[ " $got " == *" 515 "* ]] && pass "double-click reported: $got" || fail "no 515 in: $got"

# 4. A second add of the same icon is refused and docks nothing more.
{ ask 'add window' added; [ "$got" = "added 0" ]; } || fail "a second NIM_ADD of the same icon succeeded"
sleep 0.5
[ "$(docked | wc -l)" -eq 1 ] || fail "$(docked | wc -l) icons docked after a second add"

# 5. A change of picture is delete and add: one icon, now the red alarm cross.
{ ask delete deleted; [ "$got" = "deleted 1" ]; } || fail "delete before the picture change failed"
{ ask 'add picture2' added; [ "$got" = "added 1" ]; } || fail "add of the alarm icon failed"
wait_docked 1 15 >/dev/null || fail "alarm icon not docked"
sleep 0.3
colour=$(icon_colour)
[ "$colour" = red ] && pass "docked icon shows the alarm icon" || fail "alarm icon colour $colour, want red"

# 6. The shell loses the icon (as when Explorer restarts) and then announces
#    TaskbarCreated to every top-level window: the host adds its icon again.
ask forget forgot
[ "$got" = "forgot 1" ] || fail "the shell did not drop exactly one icon: $got"
wait_docked 0 10 >/dev/null || fail "the dropped icon stays docked"
ask broadcast broadcast
if ms=$(wait_docked 1 15); then
  pass "icon docked again $ms ms after TaskbarCreated"
else
  fail "no icon after TaskbarCreated"
fi
colour=$(icon_colour)
[ "$colour" = red ] && pass "re-added icon keeps the alarm picture" || fail "re-added icon colour $colour"

# 7. The tray itself restarts: Wine docks its icons into the new one.
old=$tray_pid
kill "$old"
wait "$old" 2>/dev/null
tray_pid=""
for _ in $(seq 50); do [ -z "$(panel)" ] && break; sleep 0.1; done
start_tray || fail "trayer did not start again"
if ms=$(wait_docked 1 15); then
  pass "icon docked in the restarted tray after $ms ms"
else
  fail "icon not docked in the restarted tray"
fi

# 8. Deleted, the docked window goes, and the host keeps nothing to re-add.
{ ask delete deleted; [ "$got" = "deleted 1" ]; } || fail "delete failed"
if ms=$(wait_docked 0 10); then pass "docked icon removed $ms ms after delete"; else fail "icon still docked after delete"; fi
ask broadcast broadcast
sleep 1
[ "$(docked | wc -l)" -eq 0 ] || fail "a deleted icon came back on TaskbarCreated"
{ ask delete deleted; [ "$got" = "deleted 0" ]; } || fail "a second delete succeeded"

{ ask quit bye; [ "$got" = bye ]; } || fail "the probe did not end"
rm_wait_exit "$probe_pid" 10 || fail "the probe is still running"
probe_pid=""

if [ $failures -gt 0 ]; then
  echo "tray-dock: $failures checks failed" >&2
  exit 1
fi
echo "tray-dock: all checks passed"
