#!/usr/bin/env bash
# The settings files the program ships with: written byte for byte, mode 0644,
# into an empty program folder, and never over a file a user has saved.
#   shipped-files.sh <cmake> <SettingsFiles.cmake>
set -u
cmake_bin=$1 script=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
expect() {  # expect <file> <hex bytes>
  local got
  got=$(od -An -tx1 "$dir/$1" | tr -d ' \n')
  if [ "$got" != "$2" ]; then echo "FAIL: $1 holds '$got', expected '$2'"; fail=1; fi
}

# Under a umask that lets the group write: the program would refuse such files.
(umask 002 && "$cmake_bin" -DRM_DIR="$dir" -P "$script") || { echo "FAIL: script failed"; exit 1; }
expect savedata1.ini 32300d0a
expect savedata2.ini 310d0a
expect savedata3.ini 3235350d0a
for n in 4 5 10 11 12 13 14 15 16 17 18 19; do expect savedata$n.ini 0d0a; done
modes=$(stat -c %a "$dir"/savedata*.ini | sort -u)
[ "$modes" = 644 ] || { echo "FAIL: modes $modes, expected 644 only"; fail=1; }
count=$(ls "$dir" | wc -l)
[ "$count" -eq 15 ] || { echo "FAIL: $count files, expected 15 (none numbered 6 to 9)"; fail=1; }

printf '99\r\n' >"$dir/savedata1.ini"
rm "$dir/savedata13.ini"
"$cmake_bin" -DRM_DIR="$dir" -P "$script" || { echo "FAIL: second run failed"; exit 1; }
expect savedata1.ini 39390d0a   # the user's value stays
expect savedata13.ini 0d0a      # a missing file comes back
[ $fail -eq 0 ] && echo "shipped settings files: ok"
exit $fail
