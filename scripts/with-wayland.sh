#!/usr/bin/env bash
# Runs a command in a headless Wayland session of its own (private runtime
# folder, WAYLAND_DISPLAY set, no X display), removed again however it ends.
#   with-wayland.sh [--kwin [--grant EXE]] [--] command args...
# sway (no XWayland) by default; it refuses root, so under root it runs as nobody.
# --kwin: KWin as the invoking user. --grant EXE: KWin offers its window
# management to EXE through the program's own desktop entry, as it does for the
# installed monitor.
# Exit status: the command's, or 77 when the compositor is not installed.
set -u
kwin=0; grant=""
while [ $# -gt 0 ]; do
  case "$1" in
    --kwin) kwin=1 ;;
    --grant) grant="$2"; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
  shift
done
comp=sway; [ $kwin = 1 ] && comp=kwin_wayland
command -v $comp >/dev/null || { echo "with-wayland: $comp is not installed; skipping" >&2; exit 77; }

rt=$(mktemp -d /tmp/rm-wayland.XXXXXX)
pid=""
trap '[ -n "$pid" ] && { kill "$pid"; wait "$pid"; } 2>/dev/null; rm -rf "$rt"' EXIT
trap 'exit 130' INT TERM
chmod 0700 "$rt"

if [ $kwin = 1 ]; then
  mkdir -p "$rt/share/applications" "$rt/config" "$rt/cache"
  [ -z "$grant" ] || sed "s|@RM_EXEC@|$grant|" "${RM_SOURCE_DIR:?}/packaging/router-monitor.desktop.in" \
    >"$rt/share/applications/router-monitor.desktop"
  # kwin_wayland carries a file capability (cap_sys_resource) that a container
  # may refuse at exec; a copy has none, and KWin does without.
  cp "$(command -v kwin_wayland)" "$rt/kwin_wayland"
  env -i PATH="$PATH" HOME="$rt" XDG_RUNTIME_DIR="$rt" XDG_DATA_DIRS="$rt/share:/usr/share" \
    XDG_CONFIG_HOME="$rt/config" XDG_CACHE_HOME="$rt/cache" QT_QPA_PLATFORM=offscreen \
    "$rt/kwin_wayland" --virtual --no-lockscreen --no-global-shortcuts \
    --socket wayland-rm --width 800 --height 600 >"$rt/compositor.log" 2>&1 &
else
  # No XWayland: the session holds native Wayland windows only.
  printf 'xwayland disable\n' >"$rt/config"
  as=()
  if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$rt" "$rt/config"
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all)
  fi
  env -i PATH="$PATH" HOME="$rt" XDG_RUNTIME_DIR="$rt" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 "${as[@]}" sway -c "$rt/config" >"$rt/compositor.log" 2>&1 &
fi
pid=$!
sock=""
for _ in $(seq 200); do
  sock=$(cd "$rt" && ls 2>/dev/null | grep -m1 '^wayland-[a-z0-9]*$')
  [ -n "$sock" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
[ -n "$sock" ] || { echo "with-wayland: $comp did not start" >&2; cat "$rt/compositor.log" >&2; exit 1; }
export XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$sock"
unset DISPLAY
# In the background, so that INT/TERM reach the trap while it runs.
"$@" &
wait $!
