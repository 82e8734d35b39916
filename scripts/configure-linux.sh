#!/usr/bin/env bash
# Configures the Linux build in build/ for both build.sh and test.sh, alike,
# so that neither rebuilds what the other built: warnings fail the build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHBX_WERROR=ON
