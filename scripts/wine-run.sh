#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, quietly, and gives back
# its exit status. The prefix is made once, under a lock, so that tests started
# at once share it instead of racing to build it.
#   wine-run.sh [--prefix DIR] [--network-ready] -- program.exe args...
# Without --prefix, WINEPREFIX from the environment, else ./wineprefix.
# --network-ready keeps the prefix's wineserver running (stop it with
# `wineserver -k`) and waits until Wine's network service lists an IPv4 address
# other than loopback ($RM_LAB_SCANNER_IP inside the lab): a new server starts
# that service in the background, and a program that reads the address table
# straight away may otherwise find no table at all.
# Exit status: the program's, or 77 when Wine is not installed.
#
# Making a prefix never fetches anything: the Mono and Gecko installers (which
# would offer a download) are switched off, and no display is needed.
set -u
prefix=${WINEPREFIX:-$PWD/wineprefix}
ready=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift ;;
    --network-ready) ready=1 ;;
    --) shift; break ;;
    *) break ;;
  esac
  shift
done
[ $# -gt 0 ] || { echo "usage: wine-run.sh [--prefix DIR] -- program.exe args..." >&2; exit 2; }
# Debian's wine64 package has the 64-bit loader but no `wine` on the PATH
# (that comes with the wine package).
loader=$(command -v wine || true)
[ -n "$loader" ] || [ ! -x /usr/lib/wine/wine64 ] || loader=/usr/lib/wine/wine64
[ -n "$loader" ] || { echo "wine-run: wine is not installed; skipping" >&2; exit 77; }
server=$(command -v wineserver || true)
[ -n "$server" ] || server=/usr/lib/wine/wineserver

export WINEPREFIX=$prefix
# RM_WINEDEBUG lets a test ask for a channel of its own (+systray, say). Wine's
# shell may start from any process of the prefix and keeps that one's error
# output, so then nothing of Wine's own is silenced here.
export WINEDEBUG=${RM_WINEDEBUG:--all}
wine_errors=/dev/null
[ -n "${RM_WINEDEBUG:-}" ] && wine_errors=/dev/stderr
# winemenubuilder would write menu entries and MIME types into $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
unset WINEARCH

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.rm-ready" ]; then
    rm -rf "$prefix"
    # wineboot leaves its wineserver behind; -w waits until the prefix is written.
    "$loader" wineboot --init >/dev/null 2>"$wine_errors" || { echo "wine-run: wineboot failed in $prefix" >&2; exit 1; }
    "$server" -w
    touch "$prefix/.rm-ready"
  fi
) 9>"$prefix.lock" || exit 1

if [ $ready = 1 ]; then
  "$server" -p
  want=${RM_LAB_SCANNER_IP:-}
  up=0
  for _ in $(seq 30); do
    table=$("$loader" ipconfig 2>"$wine_errors" | tr -d '\r' | awk '/IPv4 address/ {print $NF}')
    if [ -n "$want" ]; then
      grep -qxF "$want" <<<"$table" && { up=1; break; }
    else
      grep -qvx '127.0.0.1' <<<"$table" && { up=1; break; }
    fi
    sleep 0.2
  done
  [ $up = 1 ] || echo "wine-run: Wine's network service did not list ${want:-an address} in time" >&2
fi

exec "$loader" "$@"
