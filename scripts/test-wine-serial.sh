#!/usr/bin/env bash
# The Win32 serial backend under Wine on a real device: COM1 linked to a pseudo-terminal
# whose other end tests/serial/pty_peer.py plays; runs serial_wine_test.exe against it.
# RM_MINGW_BUILD=DIR uses an already configured MinGW tree instead of scripts/build.sh mingw.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -n "${RM_MINGW_BUILD:-}" ]; then
  build=$RM_MINGW_BUILD
  cmake --build "$build" --target serial_wine_test >/dev/null || exit 1
else
  build=$root/build/mingw
  scripts/build.sh mingw >/dev/null || exit 1
fi
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start

peer_out=$(mktemp)
python3 tests/serial/pty_peer.py >"$peer_out" 2>&1 &
peer=$!
cleanup() {
  kill "$peer" 2>/dev/null
  wait "$peer" 2>/dev/null
  wine_absent_com 1
  rm -f "$peer_out"
  wine_env_stop
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$peer_out" ] && break; sleep 0.1; done
slave=$(head -n 1 "$peer_out")
case $slave in
  /dev/*) ;;
  *) echo "test-wine-serial: the pseudo-terminal peer did not start: $slave" >&2; exit 1 ;;
esac
wine_link_com 1 "$slave"
echo "COM1 -> $slave"

log=$build/serial_wine_test.log
wine "$build/tests/serial/serial_wine_test.exe" >"$log" 2>&1
rc=$?
cat "$log"
exit $rc
