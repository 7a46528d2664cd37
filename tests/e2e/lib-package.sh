# Shell helpers for the tests that build the Debian package and install it into
# this machine for real: building it, one installer at a time across every
# build folder, installing and purging it again, file capabilities. Sourced;
# needs RM_BUILD_DIR.

RM_PKG_INSTALLED=""
RM_PKG_GROUP_MADE=""
RM_PKG_SKIP=""
RM_PKG_LOG=""

# Builds the package into folder $1 under a group-writable umask (so that modes
# the build leaves to the umask show up) and prints the .deb's path.
rm_package_build() {
  local out=$1 deb
  mkdir -p "$out"
  (umask 0002 && cpack --config "$RM_BUILD_DIR/CPackConfig.cmake" -B "$out") >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; return 1; }
  deb=$(ls "$out"/*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || return 1
  echo "$deb"
}

# Tests of every build folder install the same package into the same system:
# one at a time. The lock is held until the calling script ends.
rm_package_lock() {
  local dir=/run/lock
  [ -d "$dir" ] || dir=/tmp
  exec 9>"$dir/router-monitor-package-test.lock" && flock -w 600 9
}

# Installs the package $1 with dpkg (again, when it is installed). Sets
# RM_PKG_SKIP and fails when this machine holds a router-monitor the test did
# not install; RM_PKG_LOG holds dpkg's output.
rm_package_install() {
  local deb=$1 try
  if [ -z "$RM_PKG_INSTALLED" ]; then
    if dpkg-query -W -f='${Status}' router-monitor 2>/dev/null | grep -q 'installed'; then
      RM_PKG_SKIP="router-monitor is already installed on this machine"
      return 1
    fi
    getent group router-monitor >/dev/null || RM_PKG_GROUP_MADE=1
  fi
  RM_PKG_INSTALLED=1
  # apt or dpkg run by somebody else holds the dpkg lock for a while.
  for try in 1 2 3 4 5 6 7 8 9 10; do
    RM_PKG_LOG=$(dpkg -i "$deb" 2>&1) && return 0
    echo "$RM_PKG_LOG" | grep -qi 'lock' || return 1
    sleep 3
  done
  return 1
}

# Purges what rm_package_install installed and the group its postinst made.
rm_package_remove() {
  if [ -n "$RM_PKG_INSTALLED" ]; then
    dpkg --purge router-monitor >/dev/null 2>&1 || echo "warning: could not purge router-monitor" >&2
    RM_PKG_INSTALLED=""
  fi
  if [ -n "$RM_PKG_GROUP_MADE" ] && getent group router-monitor >/dev/null; then
    groupdel router-monitor || echo "warning: could not remove the group router-monitor" >&2
  fi
  RM_PKG_GROUP_MADE=""
}

# The capabilities of file $1 in getcap's notation ("cap_net_raw=ep"), if any.
rm_caps_of() {
  getcap "$1" 2>/dev/null | grep -o 'cap_[a-z_,]*[=+][a-z]*'
}
