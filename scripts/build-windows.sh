#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64 into build-win: the two
# programs, their tests, the zip users unpack
# (build-win/router-monitor-<version>-win64.zip) and the installer beside it
# (build-win/router-monitor-<version>-setup.exe). With --test, runs the tests
# under Wine. Missing Debian packages are installed with apt-get (as root).
#   build-windows.sh [--test] [--build-dir DIR] [--linux-build DIR]
# --linux-build names a Linux build folder to hold the settings files against.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
dir=$src/build-win
test=0
linux=""
while [ $# -gt 0 ]; do
  case "$1" in
    --test) test=1 ;;
    --build-dir) dir=$2; shift ;;
    --linux-build) linux=$2; shift ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "build-windows: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v convert >/dev/null || need+=(imagemagick)
command -v makensis >/dev/null || need+=(nsis)
# wine64 brings the 64-bit loader only (/usr/lib/wine/wine64); wine-run.sh finds it.
if [ $test = 1 ] && ! command -v wine >/dev/null && [ ! -x /usr/lib/wine/wine64 ]; then
  need+=(wine64)
fi
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "build-windows: missing packages: ${need[*]} (install them as root)" >&2
    exit 1
  fi
  echo "build-windows: installing ${need[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" ${linux:+-DRM_LINUX_BUILD_DIR="$linux"}
cmake --build "$dir" -j"$(nproc)" --target all package installer
if [ $test = 1 ]; then
  cd "$dir"
  ctest --output-on-failure
fi
