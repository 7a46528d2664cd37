#!/usr/bin/env bash
# The Debian package, built under a group-writable umask: lintian reports no
# error; no file or folder in it is writable by group or others; the settings
# beside the program are read-only defaults that postinst leaves alone, and
# postinst makes the ARP helper root:router-monitor 0750 with cap_net_raw and
# gives no capability to anything else. Then installed for real with dpkg: the
# helper's owner, mode and capability, the window and the scan command without
# one, a user outside the group refused by the helper, a member let in, a
# reinstall restoring what unpacking drops; purged at the end, also on failure.
set -u
SRC=${RM_SOURCE_DIR:?}
BUILD=${RM_BUILD_DIR:?}
source "$SRC/tests/e2e/lib-package.sh"

T=$(mktemp -d /tmp/rm-package.XXXXXX)
cleanup() {
  rm_package_remove
  rm -rf "$T"
}
trap cleanup EXIT
# A stopped run cleans up too (the EXIT trap alone misses signals).
trap 'exit 130' INT TERM
fail() { echo "FAIL: $*"; exit 1; }
pass() { echo "ok: $*"; }

deb=$(rm_package_build "$T/pkg") || fail "cpack failed"
pass "package built: $(basename "$deb")"

contents=$(dpkg-deb -c "$deb") || fail "dpkg-deb cannot list $deb"
names=$(echo "$contents" | awk '{print $6}')
for want in ./usr/lib/router-monitor/router-monitor ./usr/lib/router-monitor/router-monitor-scan \
            ./usr/lib/router-monitor/router-monitor-arp ./usr/lib/router-monitor/savedata19.ini \
            ./usr/share/applications/router-monitor.desktop ./usr/bin/router-monitor \
            ./usr/bin/router-monitor-scan ./usr/share/man/man1/router-monitor.1.gz \
            ./usr/share/man/man1/router-monitor-scan.1.gz \
            ./usr/share/doc/router-monitor/copyright ./usr/share/doc/router-monitor/changelog.Debian.gz; do
  echo "$names" | grep -qx "$want" || fail "package lacks $want"
done
echo "$names" | grep -qv '^\./usr/' && fail "package holds files outside /usr"
pass "package contents"

if ! command -v lintian >/dev/null; then
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi
lint=$(lintian --no-tag-display-limit "$deb" 2>&1)
errors=$(echo "$lint" | grep '^E:')
[ -z "$errors" ] || fail "lintian reports errors:"$'\n'"$errors"
echo "$lint" | grep '^W:' | sed 's/^/  lintian /'
pass "lintian reports no error"

# The archive's own modes, and the same after extraction.
wide=$(echo "$contents" | awk '$1 !~ /^l/ && (substr($1, 6, 1) == "w" || substr($1, 9, 1) == "w")')
[ -z "$wide" ] || fail "package entries writable by group or others:"$'\n'"$wide"
dpkg-deb -x "$deb" "$T/root" || fail "dpkg-deb -x failed"
wide=$(find "$T/root" -mindepth 1 -perm /022 ! -type l)
[ -z "$wide" ] || fail "extracted with group or other write: $wide"
for f in "$T"/root/usr/lib/router-monitor/savedata*.ini; do
  [ "$(stat -c '%a' "$f")" = 644 ] || fail "$(basename "$f") is not 0644"
done
[ "$(od -An -tx1 "$T/root/usr/lib/router-monitor/savedata1.ini" | tr -d ' \n')" = 32300d0a ] ||
  fail "savedata1.ini is not \"20\" CR LF"
for f in router-monitor router-monitor-scan router-monitor-arp; do
  readelf -S "$T/root/usr/lib/router-monitor/$f" | grep -Eq '\.(symtab|debug_info)' &&
    fail "$f carries symbols or debug information"
done
pass "no packaged file is writable by group or others; settings 0644; executables stripped"

dpkg-deb -e "$deb" "$T/ctl" || fail "dpkg-deb -e failed"
post="$T/ctl/postinst"
[ -x "$post" ] || fail "package has no postinst"
sh -n "$post" || fail "postinst is not valid sh"
grep -n 'chmod' "$post" | grep -v 'chmod 0750 "$helper"' | grep . &&
  fail "postinst changes modes of more than the helper"
grep -q 'savedata' "$post" && fail "postinst touches the settings files"
grep -q 'addgroup --system' "$post" || fail "postinst does not create the group"
grep -q 'chgrp router-monitor "$helper"' "$post" || fail "postinst does not give the helper its group"
setcaps=$(grep -o 'setcap [^|;]*' "$post" | grep -v 'setcap -r')
[ "$setcaps" = 'setcap cap_net_raw+ep "$helper" 2>/dev/null' ] ||
  fail "postinst grants capabilities other than the helper's: $setcaps"
pass "postinst: group, helper root:router-monitor 0750 with cap_net_raw, settings left alone"

# A real installation, when this machine has no router-monitor of its own.
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped the real installation: needs root"
  echo "1 passed, 0 failed"
  exit 0
fi
rm_package_lock || fail "another installation test holds the package lock"
if ! rm_package_install "$deb"; then
  [ -n "$RM_PKG_SKIP" ] && { echo "skipped the real installation: $RM_PKG_SKIP"; exit 0; }
  fail "dpkg -i failed: $RM_PKG_LOG"
fi
D=/usr/lib/router-monitor
H=$D/router-monitor-arp
check_installed() {
  [ "$(stat -c '%U:%G %a' "$H")" = "root:router-monitor 750" ] ||
    fail "installed helper is $(stat -c '%U:%G %a' "$H") $1"
  rm_caps_of "$H" | grep -qx 'cap_net_raw[=+]ep' || fail "installed helper lacks cap_net_raw $1"
  for f in router-monitor router-monitor-scan; do
    [ -z "$(rm_caps_of "$D/$f")" ] || fail "$f carries a capability $1"
  done
  wide=$(find "$D" /usr/share/doc/router-monitor -perm /022 ! -type l)
  [ -z "$wide" ] || fail "installed with group or other write $1: $wide"
  bad=$(find "$D" ! -user root)
  [ -z "$bad" ] || fail "installed files not owned by root $1: $bad"
}
check_installed "after dpkg -i"
pass "installed: helper root:router-monitor 0750 with cap_net_raw, nothing else has one"

# nobody is in no group of ours: the kernel refuses to run the helper for it.
# setpriv still holds root's capabilities when it executes its command, so the
# helper is executed by a shell that runs as the user alone.
as_nobody() { setpriv --reuid=nobody --regid=nogroup "$@" -- sh -c 'exec "$0"' "$H" 2>&1; }
out=$(as_nobody --clear-groups)
rc=$?
[ $rc -eq 126 ] && echo "$out" | grep -q 'Permission denied' ||
  fail "a user outside the group ran the helper (status $rc): $out"
gid=$(getent group router-monitor | cut -d: -f3)
out=$(as_nobody --groups="$gid")
rc=$?
[ $rc -ne 126 ] && [ $rc -ne 127 ] || fail "a member of the group cannot run the helper (status $rc): $out"
pass "only members of router-monitor may run the helper"

# Unpacking replaces the helper with a plain 0755 root:root file without the
# capability; configure must set all three again.
rm_package_install "$deb" || fail "reinstall failed: $RM_PKG_LOG"
check_installed "after a reinstall"
pass "a reinstall restores the helper's group, mode and capability"

dpkg --purge router-monitor >/dev/null 2>&1 || fail "dpkg --purge failed"
RM_PKG_INSTALLED=""
[ -e "$D" ] && fail "purge left $D"
pass "purged"
echo "1 passed, 0 failed"
