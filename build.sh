#!/usr/bin/env bash
# Installs what is needed and builds lib_hbx.so into build/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target hbx
echo "built: $(ls build/lib_hbx.so)"
