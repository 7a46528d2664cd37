#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test: the Linux
# build's in build/, then the Windows build's (MinGW-w64, run under Wine) in
# build-win/. Arguments go to both ctest runs (e.g. -R name, -L lab).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DRM_LINUX_BUILD_DIR="$PWD/build" >/dev/null
cmake --build build-win -j"$(nproc)" --target all package installer
rc=0
(cd build && ctest --output-on-failure -j"${RM_TEST_JOBS:-2}" "$@") || rc=$?
echo "== the Windows program, under Wine =="
(cd build-win && ctest --output-on-failure -j"${RM_TEST_JOBS:-2}" "$@") || rc=$?
exit $rc
