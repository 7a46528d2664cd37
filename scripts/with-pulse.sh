#!/usr/bin/env bash
# Runs a command against a PulseAudio daemon of its own: one null sink named
# rm_null (record what was played from rm_null.monitor), a private runtime
# folder and socket, PULSE_SERVER pointing at it. The daemon and its folder are
# removed again when the command ends, whatever its outcome.
#   with-pulse.sh [--] command args...
# Exit status: the command's, or 77 when pulseaudio is not installed.
set -u
[ "${1:-}" = "--" ] && shift
for t in pulseaudio pactl; do
  command -v "$t" >/dev/null || { echo "with-pulse: $t is not installed; skipping" >&2; exit 77; }
done

dir=$(mktemp -d /tmp/rm-pulse.XXXXXX)
pid=""
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$dir/runtime" "$dir/state" "$dir/home"
# Everything the daemon and its clients would look up in the user's folders
# points into the private folder, so a desktop session's server is never touched.
export XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" \
  PULSE_STATE_PATH="$dir/state" XDG_CONFIG_HOME="$dir/home"
# No default script (-n): only the sink and the socket we ask for. Running as
# root only draws a warning, which is why stderr goes to the log.
HOME="$dir/home" pulseaudio -n --daemonize=no --use-pid-file=no --system=no \
  --exit-idle-time=-1 --disallow-exit --disable-shm=yes --log-target=stderr \
  -L "module-null-sink sink_name=rm_null rate=44100 channels=2" \
  -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
  2>"$dir/log" &
pid=$!
export PULSE_SERVER="unix:$dir/native"
export PULSE_SINK=rm_null
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if ! pactl info >/dev/null 2>&1; then
  echo "with-pulse: the audio server did not start:" >&2
  cat "$dir/log" >&2
  exit 1
fi

"$@" &
cmd=$!
wait "$cmd"
exit $?
