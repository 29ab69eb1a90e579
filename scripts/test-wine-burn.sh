#!/usr/bin/env bash
# The Windows build of rm516x-isp burns a file into the simulator under Wine: COM1 is linked
# to the pseudo-terminal of a native rm516x-sim, and the flash it writes out must hold the
# image over the burned range.
# RM_MINGW_BUILD=DIR / RM_NATIVE_BUILD=DIR use already configured trees instead of scripts/build.sh.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mingw=${RM_MINGW_BUILD:-$root/build/mingw}
native=${RM_NATIVE_BUILD:-$root/build/native}
if [ -z "${RM_MINGW_BUILD:-}" ]; then scripts/build.sh mingw >/dev/null || exit 1; fi
if [ -z "${RM_NATIVE_BUILD:-}" ]; then scripts/build.sh native >/dev/null || exit 1; fi
cmake --build "$mingw" --target rm516x-isp >/dev/null || exit 1
cmake --build "$native" --target rm516x-sim rm516x-isp >/dev/null || exit 1
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start

work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  wine_absent_com 1
  rm -rf "$work"
  wine_env_stop
}
trap cleanup EXIT

# 3000 bytes of varied data: twelve pages, the last one partly the fill byte.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 37 + (i >> 8)) & 0xFF for i in range(3000)))' >"$work/app.bin"
XDG_CONFIG_HOME=$work "$native/cli/rm516x-isp" info --chip RM5164 --fill 0xFF \
  --image-out "$work/expected.bin" "$work/app.bin" >/dev/null || exit 1
burned=3072

"$native/sim/rm516x-sim" --chip RM5164 --flash-out "$work/flash.bin" --log "$work/sim.log" \
  --idle-ms 5000 >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
slave=$(head -n 1 "$work/sim.out")
case $slave in
  /dev/*) ;;
  *) echo "test-wine-burn: the simulator did not start: $slave" >&2; exit 1 ;;
esac
wine_link_com 1 "$slave"
echo "COM1 -> $slave"

wine "$mingw/cli/rm516x-isp.exe" burn --chip RM5164 --fill 0xFF --port COM1 --baud 115200 \
  --verify --wait 30 'Z:'"$work/app.bin" >"$work/isp.log" 2>&1
rc=$?
tr -d '\r' <"$work/isp.log"
if [ $rc -ne 0 ]; then echo "test-wine-burn: rm516x-isp.exe exited $rc" >&2; exit 1; fi
for _ in $(seq 100); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
wait "$sim" 2>/dev/null
sim=
if grep -q VIOLATION "$work/sim.log"; then
  grep VIOLATION "$work/sim.log" >&2
  exit 1
fi
if ! cmp -n $burned "$work/flash.bin" "$work/expected.bin"; then
  echo "test-wine-burn: the flash differs from the image" >&2
  exit 1
fi
echo "test-wine-burn: the flash holds the image over its $burned burned bytes"
