#!/usr/bin/env bash
# Installs what is needed and builds lib_hbx.so into build/ and the Windows
# x86-64 lib_hbx.dll into build-windows/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/configure-linux.sh
cmake --build build -j"$(nproc)" --target hbx
scripts/configure-windows.sh
cmake --build build-windows -j"$(nproc)" --target hbx
ls build/lib_hbx.so build-windows/lib_hbx.dll >/dev/null
echo "built: build/lib_hbx.so build-windows/lib_hbx.dll"
