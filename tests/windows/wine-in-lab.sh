#!/usr/bin/env bash
# Runs a Windows test program under Wine in a prefix made here for this run
# alone. Wine's sockets and network tables belong to its wineserver, which
# lives in the network namespace it was started in: a fresh prefix makes sure
# that is the lab's scanner namespace, never one shared with a server started
# outside it. The server and the prefix are removed afterwards.
#   wine-in-lab.sh [--loopback] program.exe args...
# --loopback: the namespace has only its loopback; Wine's network service is
# not waited for (it would never list another address).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ready=--network-ready
if [ "${1:-}" = "--loopback" ]; then ready=""; shift; fi
dir=$(mktemp -d /tmp/rm-wine-lab.XXXXXX)
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
cleanup() {
  [ -x "$server" ] && WINEPREFIX=$dir/prefix "$server" -k 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
"$here/../../scripts/wine-run.sh" --prefix "$dir/prefix" $ready -- "$@"
rc=$?
exit $rc
