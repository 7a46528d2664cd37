#!/usr/bin/env bash
# netlab.sh: a simulated home network in Linux network namespaces, where every
# ARP probe, sweep and name lookup of the tests and benchmarks takes place.
# Nothing here touches this machine's own interfaces or /etc files.
#
# A lab NAME consists of the namespaces
#   NAME-scan   the machine running the monitor: eth0 at PREFIX.2, default route via .1
#   NAME-br     the bridge br0 joining everything (packet loss is applied here)
#   NAME-r      the router: eth0 at PREFIX.1
#   NAME-hK     host K (1..HOSTS, at most 252): eth0 at PREFIX.(10+K) for
#               K <= 244 (.11 .. .254), and at PREFIX.(K-242) for K = 245..252
#               (.3 .. .10), so that 252 hosts fill every free address of the /24
# MAC addresses are fixed: scanner 02:52:4d:00:fe:02, router 02:52:4d:00:fe:01,
# host K 02:52:4d:00:00:KK (KK = K in hex). The default prefix is 10.77.0; since
# every lab lives in namespaces of its own, labs with the same prefix do not meet.
# NAME must be short (at most 12 characters) and unique per caller: put the PID in it.
# For `run` the NAME "auto" picks one from this script's PID (for CTest wrappers).
#
# Commands (all need root and a kernel that permits `ip netns add`; otherwise
# they print why and exit 77, the skip status of the tests):
#   netlab.sh up NAME --hosts K [--prefix A.B.C] [--loss PCT]
#                                       K is 0..252; the namespaces and links are
#                                       made in batches, 252 hosts in a few seconds
#   netlab.sh down NAME                 remove every namespace and file of the lab
#   netlab.sh leave NAME HOST           host goes away (its link down); HOST is hK, r
#   netlab.sh join NAME HOST            host comes back (link up)
#   netlab.sh loss NAME PCT [HOST]      drop PCT % of the frames on the bridge
#                                       (of HOST's port only, when given); 0 clears
#   netlab.sh exec NAME CMD...          run CMD in the scanner namespace
#   netlab.sh in NAME WHO CMD...        run CMD in namespace NAME-WHO (scan, br, r, hK)
#   netlab.sh hosts NAME                list "name ip mac" of router and hosts
#   netlab.sh run NAME --hosts K [--prefix A.B.C] [--loss PCT] -- CMD...
#       builds the lab, runs CMD in the scanner namespace, tears the lab down
#       (always) and exits with CMD's status. Usable as a CTest wrapper. CMD sees:
#         RM_LAB_NAME, RM_LAB_SCRIPT (this script), RM_LAB_IFACE (eth0)
#         RM_LAB_PREFIX       the network prefix text, e.g. "10.77.0."
#         RM_LAB_SCANNER_IP, RM_LAB_SCANNER_MAC, RM_LAB_ROUTER_IP, RM_LAB_ROUTER_MAC
#         RM_LAB_HOSTS        "ip=mac ip=mac ..." of the hosts, in host order
#       MACs in these variables are in the program's MAC text form (02-52-4D-00-00-0A).
#
# Names for reverse lookups: /etc/netns/NAME-scan/hosts, which `ip netns exec`
# shows as /etc/hosts inside the scanner namespace, holds "PREFIX.1 netlab-router"
# and "PREFIX.(address of K) netlab-hK"; tests may append lines of their own. Its
# resolv.conf points at the namespace's own loopback, so no query leaves the lab.
set -u

STATE_ROOT=/run/netlab
SELF="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"

die() { echo "netlab: $*" >&2; exit 1; }
skip() { echo "netlab: $*; skipping" >&2; exit 77; }

check_capable() {
  [ "$(id -u)" -eq 0 ] || skip "needs root (network namespaces)"
  command -v ip >/dev/null || skip "iproute2 is not installed"
  local probe="nlprobe$$"
  ip netns add "$probe" 2>/dev/null || skip "ip netns add is not permitted here"
  ip netns del "$probe"
}

check_name() {
  [ -n "${1:-}" ] || die "missing lab NAME"
  [[ "$1" =~ ^[A-Za-z0-9_.-]{1,12}$ ]] || die "NAME must be 1-12 of [A-Za-z0-9_.-]"
}

MAX_HOSTS=252
hexmac() { printf '02:52:4d:00:%s' "$1"; }
host_mac() { hexmac "$(printf '00:%02x' "$1")"; }
router_mac() { hexmac fe:01; }
scanner_mac() { hexmac fe:02; }
mac_text() { echo "$1" | tr 'a-f:' 'A-F-'; }
# The last number of host K's address: .11 .. .254 for K = 1..244, then the free
# numbers .3 .. .10 for K = 245..252.
host_number() { echo $(($1 <= 244 ? 10 + $1 : $1 - 242)); }

# Runs FUNC ARG for every ARG, a few at a time; fails when any of them failed.
# Creating namespaces and links mostly waits on the kernel, so this pays even
# on two cores.
each_parallel() {
  local fn=$1 arg running=0 failed=0
  shift
  for arg in "$@"; do
    "$fn" "$arg" &
    running=$((running + 1))
    if [ "$running" -ge 8 ]; then
      wait -n || failed=1
      running=$((running - 1))
    fi
  done
  while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  return "$failed"
}

# Inside a namespace whose eth0 has arrived (still down): no IPv6 at all (the
# "all" switch covers eth0 too), loopback up, eth0's address, eth0 up.
# ADDR_OF maps the namespace to its address; set by cmd_up.
declare -A ADDR_OF=()
setup_ns() {
  local ns=$1
  ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
    net.ipv6.conf.default.disable_ipv6=1 >/dev/null || return 1
  printf '%s\n' "link set lo up" "addr add ${ADDR_OF[$ns]}/24 dev eth0" "link set eth0 up" |
    ip -n "$ns" -batch - || return 1
}

cmd_up() {
  local hosts=0 prefix=10.77.0 loss=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --hosts) hosts=$2; shift ;;
      --prefix) prefix=$2; shift ;;
      --loss) loss=$2; shift ;;
      *) die "unknown option $1" ;;
    esac
    shift
  done
  [[ "$hosts" =~ ^[0-9]+$ ]] && [ "$hosts" -le "$MAX_HOSTS" ] || die "--hosts must be 0..$MAX_HOSTS"
  [[ "$prefix" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "--prefix must look like 10.77.0"
  [ -e "$STATE_ROOT/$LAB" ] && die "lab $LAB exists already (netlab.sh down $LAB)"
  mkdir -p "$STATE_ROOT/$LAB" "/etc/netns/$LAB-scan"
  echo "$prefix" >"$STATE_ROOT/$LAB/prefix"

  # Who is who: namespace suffix, port on the bridge, MAC, address.
  local who=(scan r) macs=("$(scanner_mac)" "$(router_mac)") addrs=("$prefix.2" "$prefix.1") k
  for ((k = 1; k <= hosts; k++)); do
    who+=("h$k")
    macs+=("$(host_mac "$k")")
    addrs+=("$prefix.$(host_number "$k")")
  done

  # All namespaces in one go, then every veth pair from the bridge namespace
  # (its far end named eth0, with its MAC, already in its namespace) in one
  # batch, then the inside of each namespace, several at a time.
  local i namespaces=()
  for ((i = 0; i < ${#who[@]}; i++)); do
    namespaces+=("$LAB-${who[i]}")
    ADDR_OF["$LAB-${who[i]}"]=${addrs[i]}
  done
  printf 'netns add %s\n' "$LAB-br" "${namespaces[@]}" | ip -batch - || return 1
  ip netns exec "$LAB-br" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
    net.ipv6.conf.default.disable_ipv6=1 >/dev/null || return 1
  {
    echo "link set lo up"
    echo "link add br0 type bridge stp_state 0 forward_delay 0"
    for ((i = 0; i < ${#who[@]}; i++)); do
      echo "link add p-${who[i]} type veth peer name eth0 address ${macs[i]} netns $LAB-${who[i]}"
      echo "link set p-${who[i]} master br0 up"
    done
    echo "link set br0 up"
  } | ip -n "$LAB-br" -batch - || return 1
  each_parallel setup_ns "${namespaces[@]}" || return 1
  ip -n "$LAB-scan" route add default via "$prefix.1" || return 1

  local hostsfile="/etc/netns/$LAB-scan/hosts"
  {
    echo "127.0.0.1 localhost"
    echo "$prefix.2 netlab-scan"
    echo "$prefix.1 netlab-router"
    for ((i = 2; i < ${#who[@]}; i++)); do echo "${addrs[i]} netlab-${who[i]}"; done
  } >"$hostsfile"
  {
    for ((i = 1; i < ${#who[@]}; i++)); do echo "${who[i]} ${addrs[i]} ${macs[i]}"; done
  } >"$STATE_ROOT/$LAB/hosts"
  echo "nameserver 127.0.0.1" >"/etc/netns/$LAB-scan/resolv.conf"
  echo "hosts: files dns" >"/etc/netns/$LAB-scan/nsswitch.conf"
  [ "$loss" = 0 ] || cmd_loss "$loss" || return 1
  return 0
}

# Every namespace of the lab goes in one batch (their veths go with them; the
# bridge namespace takes the loss rules along), then the lab's files.
cmd_down() {
  local ns gone=()
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
    case "$ns" in "$LAB"-scan | "$LAB"-br | "$LAB"-r | "$LAB"-h[0-9]*) gone+=("$ns") ;; esac
  done
  [ ${#gone[@]} -eq 0 ] || printf 'netns del %s\n' "${gone[@]}" | ip -force -batch - 2>/dev/null
  rm -rf "/etc/netns/$LAB-scan" "${STATE_ROOT:?}/$LAB"
}

ns_of() {
  case "$1" in
    scan | br | r | h[0-9]*) echo "$LAB-$1" ;;
    *) die "unknown host $1 (scan, br, r, hK)" ;;
  esac
}

cmd_link() {
  local ns
  ns=$(ns_of "$2") || exit 1
  ip -n "$ns" link set eth0 "$1"
}

# Loss lives in one nftables table of the bridge namespace; each call rewrites
# the rule for its port (or for the whole bridge).
cmd_loss() {
  local pct=$1 who=${2:-} ns="$LAB-br"
  [[ "$pct" =~ ^[0-9]+$ ]] && [ "$pct" -le 100 ] || die "loss must be 0..100"
  command -v nft >/dev/null || skip "nftables is not installed"
  ip netns exec "$ns" nft add table bridge netlab || return 1
  local chain=loss_all match=""
  if [ -n "$who" ]; then
    ns_of "$who" >/dev/null || exit 1
    chain="loss_$who"
    match="iifname \"p-$who\""
  fi
  ip netns exec "$ns" nft delete chain bridge netlab "$chain" 2>/dev/null
  if [ "$pct" -gt 0 ]; then
    local verdict="numgen random mod 100 < $pct drop"
    [ "$pct" -lt 100 ] || verdict="drop"
    local rules="add chain bridge netlab $chain { type filter hook forward priority 0; policy accept; }
add rule bridge netlab $chain $match $verdict"
    if [ -n "$who" ]; then
      rules+="
add rule bridge netlab $chain oifname \"p-$who\" $verdict"
    fi
    echo "$rules" | ip netns exec "$ns" nft -f - || return 1
  fi
}

cmd_hosts() {
  [ -f "$STATE_ROOT/$LAB/hosts" ] || die "no lab $LAB"
  cat "$STATE_ROOT/$LAB/hosts"
}

cmd_run() {
  local upargs=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do upargs+=("$1"); shift; done
  [ "${1:-}" = "--" ] || die "run: missing -- CMD"
  shift
  [ $# -gt 0 ] || die "run: missing CMD"
  trap cmd_down EXIT
  trap 'exit 130' INT TERM HUP
  cmd_up "${upargs[@]}" || die "could not build lab $LAB"
  local prefix hosts="" name ip mac
  prefix=$(cat "$STATE_ROOT/$LAB/prefix")
  while read -r name ip mac; do
    [ "$name" = r ] || hosts+="${hosts:+ }$ip=$(mac_text "$mac")"
  done <"$STATE_ROOT/$LAB/hosts"
  ip netns exec "$LAB-scan" env \
    RM_LAB_NAME="$LAB" RM_LAB_SCRIPT="$SELF" RM_LAB_IFACE=eth0 RM_LAB_PREFIX="$prefix." \
    RM_LAB_SCANNER_IP="$prefix.2" RM_LAB_SCANNER_MAC="$(mac_text "$(scanner_mac)")" \
    RM_LAB_ROUTER_IP="$prefix.1" RM_LAB_ROUTER_MAC="$(mac_text "$(router_mac)")" \
    RM_LAB_HOSTS="$hosts" "$@"
}

op=${1:-}
[ $# -gt 0 ] && shift
case "$op" in
  up | down | leave | join | loss | exec | in | hosts | run) ;;
  *) sed -n '2,40p' "$SELF" >&2; exit 2 ;;
esac
LAB=${1:-}
if [ "$op" = run ] && [ "$LAB" = auto ]; then
  LAB="nl$$"
  # Labs of earlier automatic runs whose script was killed (SIGKILL skips the
  # trap, e.g. a test time-out) are removed here.
  for d in "$STATE_ROOT"/nl[0-9]*; do
    [ -d "$d" ] || continue
    pid=${d##*/nl}
    kill -0 "$pid" 2>/dev/null || { LAB=${d##*/}; cmd_down; }
  done
  LAB="nl$$"
fi
check_name "$LAB"
shift
check_capable

case "$op" in
  up)
    cmd_up "$@" || { cmd_down; die "could not build lab $LAB"; }
    cmd_hosts ;;
  down) cmd_down ;;
  leave) cmd_link down "${1:?HOST}" ;;
  join) cmd_link up "${1:?HOST}" ;;
  loss) cmd_loss "${1:?PCT}" "${2:-}" ;;
  exec) ip netns exec "$LAB-scan" "$@" ;;
  in) ns=$(ns_of "${1:?WHO}") || exit 1; shift; ip netns exec "$ns" "$@" ;;
  hosts) cmd_hosts ;;
  run) cmd_run "$@" ;;
esac
