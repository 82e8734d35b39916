#!/usr/bin/env bash
# Runs a Windows program under wine64, quietly, in the prefix named by
# WINEPREFIX (test.sh makes a temporary one) or else in one of our own.
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/hbx-wine-$(id -u)}"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
exec "$wine" "$@"
