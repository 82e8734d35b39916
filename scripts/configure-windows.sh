#!/usr/bin/env bash
# Configures the Windows x86-64 cross build in build-windows/ (or the folder
# given as the first argument) for both build.sh and test.sh: warnings fail
# the build, and its host example is compared with the Linux build in build/.
# The toolchain file is given on the first configure only: CMake reads it
# once and warns when it is given again.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-windows}"
toolchain=()
if ! grep -q '^CMAKE_TOOLCHAIN_FILE:' "$dir/CMakeCache.txt" 2>/dev/null; then
  toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
fi
cmake -S . -B "$dir" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHBX_WERROR=ON \
  -DHBX_LINUX_BUILD="$PWD/build"
