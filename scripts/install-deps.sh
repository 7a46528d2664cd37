#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and its tests need.
# Idempotent: only missing packages are fetched; safe to run on every build.
set -euo pipefail

BUILD_PKGS=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools
  qt6-multimedia-dev libx11-dev libwayland-dev libcap-dev libgtest-dev libgmock-dev
  libbenchmark-dev libcurl4-openssl-dev nlohmann-json3-dev)
RUN_PKGS=(qt6-qpa-plugins libqt6multimedia6 libqt6dbus6 libwayland-client0 fonts-arphic-uming
  fonts-arphic-ukai libcap2-bin ieee-data iproute2 libcurl4)
TEST_PKGS=(xvfb openbox trayer xdotool wmctrl x11-utils sway kwin-wayland qt6-wayland
  wayland-protocols dbus-daemon python3-dbus python3-gi imagemagick desktop-file-utils pulseaudio pulseaudio-utils
  sox nftables arp-scan procps dpkg-dev lintian adduser
  g++-mingw-w64-x86-64-posix googletest nsis wine64 unzip locales e2fsprogs
  transmission-daemon transmission-cli qbittorrent-nox aria2 python3 curl util-linux)

want=("${BUILD_PKGS[@]}" "${RUN_PKGS[@]}")
[ "${1:-}" = "--runtime-only" ] || want+=("${TEST_PKGS[@]}")

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another package manager may be at work (unattended upgrades): wait for it.
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
