#!/usr/bin/env bash
# Installs what is missing, builds and starts the monitor.
#   ./run.sh          build and start build/router-monitor
#   ./run.sh --demo   the monitor in a simulated home network (see README)
set -euo pipefail
cd "$(dirname "$0")"
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
cmake --build build -j"$(nproc)" --target router-monitor router-monitor-scan rm_sound_files rm_settings_files
# Raw ARP gives exact, fresh answers; it needs CAP_NET_RAW on the executable.
# Without it the monitor falls back to the kernel's neighbour table.
if command -v setcap >/dev/null; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo -n"
  for exe in build/router-monitor build/router-monitor-scan; do
    $SUDO setcap cap_net_raw+ep "$exe" 2>/dev/null ||
      echo "note: could not grant cap_net_raw to $exe; it uses the unprivileged ARP path" >&2
  done
fi
exec build/router-monitor
