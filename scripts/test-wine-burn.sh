#!/usr/bin/env bash
# The Windows build of rm516x-isp burns a file into the simulator under Wine: COM1 is linked
# to the pseudo-terminal of a native rm516x-sim, and the flash it writes out must hold the
# image over the burned range. The chip starts powered off: --reset-command, run by cmd.exe,
# must power it on (a failing command must end the burn first).
# RM_MINGW_BUILD=DIR / RM_NATIVE_BUILD=DIR use already configured trees instead of scripts/build.sh.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
wine_build mingw rm516x-isp || exit 1
wine_build native rm516x-sim rm516x-isp || exit 1
wine_session

# 3000 bytes of varied data: twelve pages, the last one partly the fill byte.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 37 + (i >> 8)) & 0xFF for i in range(3000)))' >"$work/app.bin"
XDG_CONFIG_HOME=$work "$native/cli/rm516x-isp" info --chip RM5164 --fill 0xFF \
  --image-out "$work/expected.bin" "$work/app.bin" >/dev/null || exit 1
wine_com_child 1 "$work/sim.out" "$native/sim/rm516x-sim" --chip RM5164 --flash-out "$work/flash.bin" \
  --log "$work/sim.log" --idle-ms 5000 --powered-off || exit 1

burn() {
  wine_run "$mingw/cli/rm516x-isp.exe" burn --chip RM5164 --fill 0xFF --port COM1 --baud 115200 \
    --verify --wait 30 --reset-command "$1" 'Z:'"$work/app.bin"
}
burn 'exit 3' | tee "$work/failed.log"
[ "${PIPESTATUS[0]}" -eq 1 ] && grep -q "reset-command 'exit 3' exited with status 3" "$work/failed.log" ||
  { echo "test-wine-burn: a failing --reset-command did not end the burn" >&2; exit 1; }
burn "start /wait /unix /bin/kill -USR1 $rm_child" || { echo "test-wine-burn: rm516x-isp.exe failed" >&2; exit 1; }
# The simulator writes its flash when its session ends.
timeout 10 tail --pid="$rm_child" -f /dev/null
if grep VIOLATION "$work/sim.log" >&2; then exit 1; fi
cmp -n 3072 "$work/flash.bin" "$work/expected.bin" || { echo "test-wine-burn: the flash differs from the image" >&2; exit 1; }
echo "test-wine-burn: the flash holds the image over its 3072 burned bytes"
