#!/usr/bin/env bash
# Installs the Debian packages the library, its tests and benchmarks need,
# when any of them is missing: for the Linux build (pkg-config for the test of
# the installed package), clang for the fuzz targets and ThreadSanitizer, and
# for the Windows build the cross compiler, Wine and GoogleTest's sources.
# Prints one line when nothing is missing.
set -euo pipefail

packages=(g++ cmake make binutils pkg-config libboost-date-time-dev liblapack-dev libgtest-dev libbenchmark-dev
          clang libclang-rt-14-dev
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "dependencies: all ${#packages[@]} packages are installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
