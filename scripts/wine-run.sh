#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, quietly, and gives back
# its exit status. The prefix is made once, under a lock, so that tests started
# at once share it instead of racing to build it.
#   wine-run.sh [--prefix DIR] -- program.exe args...
# Without --prefix, WINEPREFIX from the environment, else ./wineprefix.
# Exit status: the program's, or 77 when Wine is not installed.
#
# Making a prefix never fetches anything: the Mono and Gecko installers (which
# would offer a download) are switched off, and no display is needed.
set -u
prefix=${WINEPREFIX:-$PWD/wineprefix}
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift ;;
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
export WINEDEBUG=-all
# winemenubuilder would write menu entries and MIME types into $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
unset WINEARCH

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.rm-ready" ]; then
    rm -rf "$prefix"
    # wineboot leaves its wineserver behind; -w waits until the prefix is written.
    "$loader" wineboot --init >/dev/null 2>&1 || { echo "wine-run: wineboot failed in $prefix" >&2; exit 1; }
    "$server" -w
    touch "$prefix/.rm-ready"
  fi
) 9>"$prefix.lock" || exit 1

exec "$loader" "$@"
