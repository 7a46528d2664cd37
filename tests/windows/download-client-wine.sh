#!/usr/bin/env bash
# Runs the Windows download-client test under Wine beside a real Transmission
# daemon, in the network namespace download-daemons.sh makes. The Wine prefix
# is made here for this run, so that its wineserver starts inside that
# namespace; server and prefix are removed afterwards.
#   download-client-wine.sh program.exe
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir=$(mktemp -d /tmp/rm-wine-dl.XXXXXX)
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
cleanup() {
  [ -x "$server" ] && WINEPREFIX=$dir/prefix "$server" -k 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
"$here/../support/download-daemons.sh" --only transmission -- \
  "$here/../../scripts/wine-run.sh" --prefix "$dir/prefix" -- "$@"
