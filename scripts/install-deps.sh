#!/usr/bin/env bash
# Installs the Debian packages the library, its tests and benchmarks need,
# when any of them is missing: for the Linux build (pkg-config for the test of
# the installed package), clang for the fuzz targets and ThreadSanitizer, and
# for the Windows build the cross compiler, Wine and GoogleTest's sources,
# and a locale with a decimal comma (de_DE.UTF-8, made with localedef) for
# the test that reads reals under the host's locale. Prints one line when
# nothing is missing.
set -euo pipefail

packages=(g++ cmake make binutils pkg-config libboost-date-time-dev liblapack-dev libgtest-dev libbenchmark-dev
          clang libclang-rt-14-dev
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest locales)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

comma_locale() {
  if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    echo "making the locale de_DE.UTF-8"
    $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  comma_locale
  echo "dependencies: all ${#packages[@]} packages are installed"
  exit 0
fi

echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
comma_locale
