# Shell helpers for driving the real monitor window from outside, as a user
# would: find the window, click its controls at their design places, read the
# verdict label's colour from a screenshot, find the tray icon. Sourced by the
# demo and the end-to-end test; needs DISPLAY, xdotool, xwininfo, xprop and
# ImageMagick.

RM_CAPTION='路由器使用监视器 '

# The id of the visible monitor window (empty when none), waiting up to $1 s.
rm_window() {
  local deadline=$((SECONDS + ${1:-0})) w
  while :; do
    w=$(xdotool search --onlyvisible --name "^${RM_CAPTION}\$" 2>/dev/null | head -n1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

# Absolute screen position of the window's client area: "X Y".
rm_origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

# Clicks at a point given in twips inside the client area (control left/top + offsets).
rm_click_twips() {
  local w=$1 tx=$2 ty=$3 ox oy
  read -r ox oy < <(rm_origin "$w")
  xdotool mousemove --sync $((ox + tx / 15)) $((oy + ty / 15)) click 1
}

# Colour of Label15 (the verdict): red, green or other, from a screenshot of its area.
rm_verdict_colour() {
  local w=$1 ox oy hist red green
  read -r ox oy < <(rm_origin "$w")
  hist=$(import -silent -window root png:- 2>/dev/null |
    convert - -crop 129x57+$((ox + 184))+$((oy + 296)) +repage -format %c histogram:info:- 2>/dev/null)
  red=$(echo "$hist" | awk '/#FF0000/ {n += $1} END {print n + 0}')
  green=$(echo "$hist" | awk '/#00FF00/ {n += $1} END {print n + 0}')
  if [ "$red" -gt 50 ]; then echo red; elif [ "$green" -gt 50 ]; then echo green; else echo other; fi
}

# Waits up to $2 s for the verdict colour $3.
rm_wait_verdict() {
  local w=$1 deadline=$((SECONDS + $2)) want=$3
  while [ $SECONDS -lt $deadline ]; do
    [ "$(rm_verdict_colour "$w")" = "$want" ] && return 0
    sleep 0.3
  done
  return 1
}

# Window ids whose title contains $1 (visible or not).
rm_windows_titled() { xdotool search --name "$1" 2>/dev/null; }

# "Iconic", "Normal" or "Withdrawn" from WM_STATE.
rm_wm_state() { xprop -id "$1" WM_STATE 2>/dev/null | awk '/window state:/ {print $3}'; }

# Centre of the tray icon embedded in trayer: "X Y" (nothing when there is none).
# The panel always holds a hidden 1x1 window of its own; icons are the larger ones.
rm_tray_icon_centre() {
  local panel
  panel=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}')
  [ -n "$panel" ] || return 1
  xwininfo -id "$panel" -tree | awk '
    /^ +0x/ {
      for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+/) { geo = $i; abs = $(i + 1) }
      split(geo, g, /[x+]/); split(abs, a, /\+/)
      if (g[1] > 1 && g[2] > 1 && a[2] >= 0 && a[3] >= 0) { print a[2] + int(g[1] / 2), a[3] + int(g[2] / 2); found = 1; exit }
    }
    END { exit !found }'
}

# A program folder in $1 with a copy of the monitor from the build folder $2, its
# sounds and settings of our own: period $3 s, host numbers $4..$5, and, when a
# title $6 is given, the stand-in download manager (the build's rm-title-window
# opening a window with that title) whose title fragment $7 goes to savedata4.ini.
rm_make_program_folder() {
  local p=$1 build=$2 f
  mkdir -p "$p"
  cp "$build/router-monitor" "$build"/*.wav "$p"/
  for f in 1 2 3 4 5 10 11 12 13 14 15 16 17 18 19; do printf '\r\n' > "$p/savedata$f.ini"; done
  printf '%s\r\n' "$3" > "$p/savedata1.ini"
  printf '%s\r\n' "$4" > "$p/savedata2.ini"
  printf '%s\r\n' "$5" > "$p/savedata3.ini"
  if [ -n "${6:-}" ]; then
    printf '%s\r\n' "$7" | iconv -f UTF-8 -t GBK > "$p/savedata4.ini"   # code page 936
    printf '#!/bin/sh\nexec "%s" "%s"\n' "$build/rm-title-window" "$6" > "$p/downloader"
    chmod +x "$p/downloader"
    printf '%s\r\n' "$p/downloader" > "$p/savedata5.ini"
  fi
}

# Asks the window manager to close window $1, as its title-bar button would
# (the window receives WM_DELETE_WINDOW). No keyboard focus involved.
rm_close_window() {
  if command -v wmctrl >/dev/null; then
    wmctrl -i -c "$1"
  else
    xdotool windowactivate --sync "$1" key --clearmodifiers alt+F4
  fi
}

# Waits up to $2 s for process $1 to end; false when it is still running.
rm_wait_exit() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

# Screenshot of the whole screen into $1.
rm_screenshot() { import -silent -window root "$1"; }

# Waits up to $2 s for a window whose title holds $1 to show ("shown") or to be
# gone ("gone", as $3); false when it did not.
rm_wait_titled() {
  local deadline=$((SECONDS + $2))
  while :; do
    if [ "$3" = gone ]; then [ -z "$(rm_windows_titled "$1")" ] && return 0
    else [ -n "$(rm_windows_titled "$1")" ] && return 0; fi
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

# Waits up to $2 s for a window whose title holds $1 to be there minimised
# (started by the monitor); prints its id, else says what was wrong.
rm_wait_started_minimised() {
  local deadline=$((SECONDS + $2)) w=""
  while :; do
    w=$(rm_windows_titled "$1" | head -n1)
    [ -n "$w" ] && [ "$(rm_wm_state "$w")" = Iconic ] && { echo "$w"; return 0; }
    [ $SECONDS -ge $deadline ] && break
    sleep 0.2
  done
  if [ -z "$w" ]; then echo "the download manager was not started" >&2
  else echo "the started download manager is not minimised" >&2; fi
  return 1
}

# The stages both end-to-end tests (the Linux and the Windows program) go
# through once the verdicts are told. Each prints why it failed and is false.

# 最小化 hides window $1 to the tray; a double-click on the tray icon brings it
# back. Prints the window's id afterwards.
rm_stage_tray_round_trip() {
  local w=$1 tx ty
  rm_click_twips "$w" $((5520 + 367)) $((5760 + 187))
  for _ in $(seq 25); do [ -z "$(rm_window 0)" ] && break; sleep 0.2; done
  [ -z "$(rm_window 0)" ] || { echo "最小化 did not hide the window" >&2; return 1; }
  read -r tx ty < <(rm_tray_icon_centre) || { echo "no tray icon while the window is hidden" >&2; return 1; }
  xdotool mousemove --sync "$tx" "$ty" click --repeat 2 --delay 60 1
  rm_window 5 || { echo "a double-click on the tray icon did not show the window" >&2; return 1; }
}

# Types 41 as the last host number into window $1 and presses 保存全部设置: every
# file in folder $2 must then equal the one loaded, kept in folder $3 (whose
# savedata3.ini is changed to the new value here).
rm_stage_save() {
  local w=$1 program=$2 loaded=$3 f
  rm_click_twips "$w" $((240 + 720 + 240)) $((2640 + 1560 + 135))
  xdotool key --clearmodifiers ctrl+a type --delay 30 "41"
  rm_click_twips "$w" $((240 + 240 + 727)) $((2640 + 2760 + 127))
  printf '41\r\n' > "$loaded/savedata3.ini"
  sleep 1
  for f in "$loaded"/savedata*.ini; do
    cmp -s "$f" "$program/$(basename "$f")" || {
      echo "$(basename "$f") differs after the save: $(od -An -tx1 "$program/$(basename "$f")" | tr -d '\n')" >&2
      return 1
    }
  done
}

# Closes window $1 of process $2: the process must end and its tray icon go.
rm_stage_close() {
  rm_close_window "$1"
  rm_wait_exit "$2" 15 || { echo "the process did not end when its window was closed" >&2; return 1; }
  for _ in $(seq 25); do [ -z "$(rm_tray_icon_centre)" ] && break; sleep 0.2; done
  [ -z "$(rm_tray_icon_centre)" ] || { echo "the tray icon stayed after the program ended" >&2; return 1; }
}
