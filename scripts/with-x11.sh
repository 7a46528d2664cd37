#!/usr/bin/env bash
# Runs a command on a virtual X display of its own: Xvfb, the openbox window
# manager and, with --tray, the trayer system tray. Everything started here is
# stopped again when the command ends, whatever its outcome.
#   with-x11.sh [--no-wm] [--tray] [--size WxH] -- command args...
# Exit status: the command's, or 77 when Xvfb/openbox/trayer are not installed.
set -u
wm=1; tray=0; size=1024x768
while [ $# -gt 0 ]; do
  case "$1" in
    --no-wm) wm=0 ;;
    --tray) tray=1 ;;
    --size) size="$2"; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
  shift
done
need=(Xvfb)
[ $wm = 1 ] && need+=(openbox)
[ $tray = 1 ] && need+=(trayer)
for t in "${need[@]}"; do
  command -v "$t" >/dev/null || { echo "with-x11: $t is not installed; skipping" >&2; exit 77; }
done

pids=()
cleanup() {
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[$i]}" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a display nobody uses and reports it once it accepts clients.
# Choosing the number here instead let two wrappers started at once pick the
# same one and share one server, windows of the same name included.
dfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$dfile" >/dev/null 2>&1 &
pids+=($!)
disp=""
for _ in $(seq 200); do
  disp=$(head -n1 "$dfile")
  [ -n "$disp" ] && [ -S "/tmp/.X11-unix/X$disp" ] && break
  sleep 0.05
done
rm -f "$dfile"
[ -n "$disp" ] && [ -S "/tmp/.X11-unix/X$disp" ] || { echo "with-x11: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$disp"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

if [ $wm = 1 ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  # openbox is ready once it owns the WM_S0 selection (it sets _NET_SUPPORTING_WM_CHECK).
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done
fi
if [ $tray = 1 ]; then
  trayer --edge top --align right --widthtype pixel --width 120 --height 32 \
    --SetDockType true --transparent false --tint 0x404040 >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    xprop -root -notype 2>/dev/null >/dev/null
    [ -n "$(xwininfo -root -tree 2>/dev/null | grep -i trayer)" ] && break
    sleep 0.05
  done
fi

"$@" &
cmd=$!
wait "$cmd"
exit $?
