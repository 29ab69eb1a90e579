#!/usr/bin/env bash
# The Win32 serial backend under Wine on a real device: COM1 linked to a pseudo-terminal
# whose other end tests/serial/pty_peer.py plays; runs serial_wine_test.exe against it.
# RM_MINGW_BUILD=DIR uses an already configured MinGW tree instead of scripts/build.sh mingw.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${RM_MINGW_BUILD:-$root/build/mingw}
if [ -n "${RM_MINGW_BUILD:-}" ]; then cmake --build "$build" --target serial_wine_test >/dev/null || exit 1
else scripts/build.sh mingw >/dev/null || exit 1; fi
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
work=$(mktemp -d)
rm_child=
cleanup() {
  [ -n "$rm_child" ] && kill "$rm_child" 2>/dev/null && wait "$rm_child" 2>/dev/null
  wine_absent_com 1
  rm -rf "$work"
  wine_env_stop
}
trap cleanup EXIT
wine_env_start
wine_com_child 1 "$work/peer.out" python3 tests/serial/pty_peer.py || exit 1
echo "COM1 -> $(head -n 1 "$work/peer.out")"
wine "$build/tests/serial/serial_wine_test.exe" >"$work/test.log" 2>&1
rc=$?
cat "$work/test.log"
exit $rc
