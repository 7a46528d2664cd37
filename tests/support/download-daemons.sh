#!/usr/bin/env bash
# Runs CMD beside real download clients on loopback, in a network namespace
# made for this run alone: Transmission, qBittorrent and aria2 (or only the
# ones named), each with three transfers or two: "running.bin" running
# (seeding, or downloading from a slow local web server), "held.bin" paused by
# the user, and for Transmission "other.bin" running too. Everything started
# here is stopped and removed afterwards, however CMD ends.
#   download-daemons.sh [--only transmission,qbittorrent,aria2] -- CMD...
# CMD sees, per client started:
#   RM_DL_TR_PORT RM_DL_TR_PID   Transmission RPC, user rm, password rm-secret
#   RM_DL_QB_PORT RM_DL_QB_PID   qBittorrent Web UI, user admin, password adminadmin
#   RM_DL_A2_PORT RM_DL_A2_PID   aria2 JSON-RPC, secret rm-secret
# Exit status: CMD's; 77 when the namespace cannot be made (not root) or a
# client is not installed.
set -u
only=transmission,qbittorrent,aria2
[ "${1:-}" = --only ] && { only=$2; shift 2; }
[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] || { echo "usage: download-daemons.sh [--only LIST] -- CMD..." >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${RM_DL_INSIDE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "download-daemons: needs root (network namespace); skipping" >&2; exit 77; }
  unshare -n true 2>/dev/null || { echo "download-daemons: unshare -n is not permitted; skipping" >&2; exit 77; }
  exec env RM_DL_INSIDE=1 unshare -n -- "$0" --only "$only" -- "$@"
fi

ip link set lo up || exit 1
dir=$(mktemp -d /tmp/rm-dl.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null
  done
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

need() { command -v "$1" >/dev/null || { echo "download-daemons: $1 is not installed; skipping" >&2; exit 77; }; }
# Waits up to 15 s for CMD to succeed.
await() {
  for _ in $(seq 150); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "download-daemons: timed out waiting for: $*" >&2; return 1
}
wants() { [[ ",$only," == *",$1,"* ]]; }

mkdir -p "$dir/data"
for f in running held other; do head -c 65536 /dev/urandom >"$dir/data/$f.bin"; done
if wants transmission || wants qbittorrent; then
  need transmission-create
  for f in running held other; do
    transmission-create -o "$dir/$f.torrent" "$dir/data/$f.bin" >/dev/null || exit 1
  done
fi

if wants transmission; then
  need transmission-daemon
  export RM_DL_TR_PORT=19091
  tr=(transmission-remote "127.0.0.1:$RM_DL_TR_PORT" -n rm:rm-secret)
  transmission-daemon -f -g "$dir/tr" -w "$dir/data" -t -u rm -v rm-secret -a 127.0.0.1 \
    --rpc-bind-address 127.0.0.1 -p "$RM_DL_TR_PORT" -P 51413 -M -O -Y >"$dir/tr.log" 2>&1 &
  RM_DL_TR_PID=$!; pids+=("$RM_DL_TR_PID"); export RM_DL_TR_PID
  await "${tr[@]}" -l || exit 1
  for f in held running other; do "${tr[@]}" -a "$dir/$f.torrent" -w "$dir/data" >/dev/null || exit 1; done
  # Seeding once verified ("Idle" with no peers); a stop during the check is lost.
  await bash -c "[ \$(${tr[*]} -l | grep -c Idle) -eq 3 ]" || exit 1
  "${tr[@]}" -t 1 -S >/dev/null || exit 1
  await bash -c "${tr[*]} -t 1 -i | grep -q 'State: Stopped'" || exit 1
fi

if wants qbittorrent; then
  need qbittorrent-nox
  export RM_DL_QB_PORT=18080
  printf 'y\n' | HOME="$dir/qb-home" qbittorrent-nox --webui-port="$RM_DL_QB_PORT" \
    --profile="$dir/qb" >"$dir/qb.log" 2>&1 &
  RM_DL_QB_PID=$!; pids+=("$RM_DL_QB_PID"); export RM_DL_QB_PID
  qb="http://127.0.0.1:$RM_DL_QB_PORT/api/v2"
  await curl -sf -c "$dir/qb.cookie" --data 'username=admin&password=adminadmin' "$qb/auth/login" || exit 1
  for f in running held; do
    curl -sf -b "$dir/qb.cookie" -F "torrents=@$dir/$f.torrent" -F "savepath=$dir/data" \
      -F skip_checking=true -F paused=$([ $f = held ] && echo true || echo false) \
      "$qb/torrents/add" >/dev/null || exit 1
  done
  await bash -c "curl -sf -b '$dir/qb.cookie' '$qb/torrents/info' | grep -q '\"name\":\"running.bin\".*' && \
    [ \$(curl -sf -b '$dir/qb.cookie' '$qb/torrents/info' | grep -o '\"state\":\"[a-zA-Z]*UP\"' | wc -l) -eq 2 ]" || exit 1
fi

if wants aria2; then
  need aria2c
  export RM_DL_A2_PORT=16800
  python3 "$here/trickle-server.py" 18000 &
  pids+=($!)
  mkdir -p "$dir/a2"
  aria2c --enable-rpc --rpc-listen-port="$RM_DL_A2_PORT" --rpc-secret=rm-secret --dir="$dir/a2" \
    --no-conf --quiet --disable-ipv6 --check-certificate=false >"$dir/a2.log" 2>&1 &
  RM_DL_A2_PID=$!; pids+=("$RM_DL_A2_PID"); export RM_DL_A2_PID
  a2() {
    curl -sf "http://127.0.0.1:$RM_DL_A2_PORT/jsonrpc" -d \
      "{\"jsonrpc\":\"2.0\",\"id\":\"s\",\"method\":\"$1\",\"params\":[\"token:rm-secret\"$2]}"
  }
  await a2 aria2.getVersion "" || exit 1
  await bash -c 'exec 3<>/dev/tcp/127.0.0.1/18000' || exit 1
  a2 aria2.addUri ',["http://127.0.0.1:18000/running.bin"]' >/dev/null || exit 1
  a2 aria2.addUri ',["http://127.0.0.1:18000/held.bin"],{"pause":"true"}' >/dev/null || exit 1
  await bash -c "$(declare -f a2); RM_DL_A2_PORT=$RM_DL_A2_PORT a2 aria2.tellActive '' | grep -q active" || exit 1
fi

"$@"
