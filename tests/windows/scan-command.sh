#!/usr/bin/env bash
# router-monitor-scan.exe in the lab (run by netlab.sh run, under Wine through
# wine-in-lab.sh): one line per host of the range in host order, the lab's
# devices with their MACs, silent addresses with none, and the summary.
#   scan-command.sh router-monitor-scan.exe
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=$1
[ -n "${RM_LAB_NAME:-}" ] || { echo "not inside the network lab"; exit 1; }
out=$("$here/wine-in-lab.sh" "$exe" "$RM_LAB_PREFIX" 1 20 | tr -d '\r')
rc=$?
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
[ $rc -eq 0 ] || fail "exit status $rc"

# What the lab holds: router, this machine and the hosts, by address.
declare -A want
want[$RM_LAB_ROUTER_IP]=$RM_LAB_ROUTER_MAC
want[$RM_LAB_SCANNER_IP]=$RM_LAB_SCANNER_MAC
for pair in $RM_LAB_HOSTS; do want[${pair%%=*}]=${pair#*=}; done

n=0
while read -r ip mac; do
  n=$((n + 1))
  [ "$ip" = "$RM_LAB_PREFIX$n" ] || fail "line $n is for $ip"
  expected=${want[$ip]:-00-00-00-00-00-00}
  [ "$mac" = "$expected" ] || fail "$ip: $mac, not $expected"
done < <(head -n 20 <<<"$out")
[ $n -eq 20 ] || fail "$n host lines, not 20"
summary=$(sed -n 21p <<<"$out")
present=0
for ip in "${!want[@]}"; do
  last=${ip##*.}
  [ "$last" -ge 1 ] && [ "$last" -le 20 ] && present=$((present + 1))
done
[[ "$summary" == "$present of 20 answered"* ]] || fail "summary: $summary (expected $present of 20)"
# Arguments that make no range are refused with the usage.
"$here/wine-in-lab.sh" "$exe" 10.77.0 1 20 >/dev/null 2>&1
[ $? -eq 2 ] || fail "a prefix without its final dot was not refused"
echo "$out" | tail -n 3
[ $fails -eq 0 ] && echo "ok: one sweep printed, $present of 20 present"
[ $fails -eq 0 ]
