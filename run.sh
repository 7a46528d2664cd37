#!/usr/bin/env bash
# Installs what is missing, builds and starts the monitor.
#   ./run.sh          build and start build/router-monitor
#   ./run.sh --demo   the monitor in a simulated home network (see README)
#   ./run.sh --windows  cross-build the Windows program, its zip and its installer (build-win)
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = "--windows" ]; then
  shift
  exec ./scripts/build-windows.sh "$@"
fi
if [ "${1:-}" = "--demo" ]; then
  shift
  # The demo needs the lab and display tools and the stand-in download manager.
  ./scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRM_BUILD_TESTS=ON >/dev/null
  cmake --build build -j"$(nproc)" --target router-monitor rm-title-window rm_sound_files rm_settings_files
  exec ./scripts/demo.sh "$@"
fi
./scripts/install-deps.sh --runtime-only
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target router-monitor router-monitor-scan router-monitor-arp \
  rm_sound_files rm_settings_files
# Raw ARP gives exact, fresh answers; only the small helper holds CAP_NET_RAW
# for it. The window and the scan command never do: a capability left on them by
# an earlier run is taken back. Without the helper the monitor falls back to the
# kernel's neighbour table.
if command -v setcap >/dev/null; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo -n"
  for exe in build/router-monitor build/router-monitor-scan; do
    if [ -n "$(getcap "$exe" 2>/dev/null)" ]; then
      $SUDO setcap -r "$exe" 2>/dev/null ||
        echo "note: could not remove the capability of $exe" >&2
    fi
  done
  if [ -x build/router-monitor-arp ]; then
    $SUDO setcap cap_net_raw+ep build/router-monitor-arp 2>/dev/null ||
      echo "note: could not grant cap_net_raw to build/router-monitor-arp; the monitor uses the kernel's neighbour table" >&2
  fi
fi
exec build/router-monitor
