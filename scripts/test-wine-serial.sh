#!/usr/bin/env bash
# The Win32 serial backend under Wine on a real device: COM1 linked to a pseudo-terminal
# whose other end tests/serial/pty_peer.py plays; runs serial_wine_test.exe against it.
# RM_MINGW_BUILD=DIR uses an already configured MinGW tree instead of scripts/build.sh mingw.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
wine_build mingw serial_wine_test || exit 1
wine_session
wine_com_child 1 "$work/peer.out" python3 tests/serial/pty_peer.py || exit 1
echo "COM1 -> $(head -n 1 "$work/peer.out")"
wine_run "$mingw/tests/serial/serial_wine_test.exe"
