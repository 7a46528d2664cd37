#!/usr/bin/env bash
# Runs a command in a Wayland session of its own: headless sway (wlroots) with a
# private runtime folder, WAYLAND_DISPLAY pointing at its socket, no X display.
# sway refuses to run as root: under root it runs as the user nobody, in a
# runtime folder only that user (and root) may enter. sway and its folder are
# removed again when the command ends, whatever its outcome.
#   with-sway.sh [--] command args...
# Exit status: the command's, or 77 when sway is not installed.
set -u
[ "${1:-}" = "--" ] && shift
command -v sway >/dev/null || { echo "with-sway: sway is not installed; skipping" >&2; exit 77; }

rt=$(mktemp -d /tmp/rm-sway.XXXXXX)
pid=""
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$rt"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# No XWayland: the session holds native Wayland windows only.
printf 'xwayland disable\n' >"$rt/config"
as=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$rt" "$rt/config"
  as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all)
fi
chmod 0700 "$rt"
env -i PATH="$PATH" HOME="$rt" XDG_RUNTIME_DIR="$rt" WLR_BACKENDS=headless \
  WLR_LIBINPUT_NO_DEVICES=1 "${as[@]}" sway -c "$rt/config" >"$rt/sway.log" 2>&1 &
pid=$!
sock=""
for _ in $(seq 200); do
  sock=$(cd "$rt" && ls 2>/dev/null | grep -m1 '^wayland-[0-9]*$')
  [ -n "$sock" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$sock" ]; then
  echo "with-sway: sway did not start" >&2
  cat "$rt/sway.log" >&2
  exit 1
fi
export XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$sock"
unset DISPLAY
"$@" &
cmd=$!
wait "$cmd"
exit $?
