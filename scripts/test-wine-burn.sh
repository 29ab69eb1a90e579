#!/usr/bin/env bash
# The Windows build of rm516x-isp burns a file into the simulator under Wine: COM1 is linked
# to the pseudo-terminal of a native rm516x-sim, and the flash it writes out must hold the
# image over the burned range. The chip on COM1 starts powered off: --reset-command, run by
# cmd.exe, must power it on. A second chip on
# COM2 burns at the same time: the gang on Windows. The chips announce
# slowly: a Wine host on a loaded machine may echo a word after the next one was sent.
# Last, the Windows monitor: the echo program burned into a chip on COM3 that runs it (s51)
# sends back the line piped into the monitor.
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
  --log "$work/sim.log" --idle-ms 5000 --announce-ms 500 --powered-off || exit 1
powered_off=$rm_child
wine_com_child 2 "$work/sim2.out" "$native/sim/rm516x-sim" --chip RM5164 --flash-out "$work/flash2.bin" \
  --log "$work/sim2.log" --idle-ms 5000 --announce-ms 500 || exit 1

wine_run "$mingw/cli/rm516x-isp.exe" burn --chip RM5164 --fill 0xFF --baud 115200 --verify --wait 30 --port COM1 \
  --port COM2 --reset-command "start /wait /unix /bin/kill -USR1 $powered_off" 'Z:'"$work/app.bin" ||
  { echo "test-wine-burn: rm516x-isp.exe failed" >&2; exit 1; }
for n in "" 2; do
  # A simulator writes its flash when its session ends.
  timeout 10 tail --pid="${rm_children[${n:-1}-1]}" -f /dev/null
  cmp -n 3072 "$work/flash$n.bin" "$work/expected.bin" || { echo "test-wine-burn: flash$n differs from the image" >&2; exit 1; }
done
echo "test-wine-burn: both flashes hold the image over its 3072 burned bytes"

wine_com_child 3 "$work/sim3.out" "$native/sim/rm516x-sim" --chip RM5164 --run || exit 1
wine_run "$mingw/cli/rm516x-isp.exe" burn --chip RM5164 --baud 9600 --wait 30 --port COM3 \
  'Z:'"$root/examples/echo.hex" >/dev/null || { echo "test-wine-burn: the echo program was not burned" >&2; exit 1; }
echo 'hello board' | wine_run "$mingw/cli/rm516x-isp.exe" monitor --port COM3 --baud 9600 \
  --expect 'hello board' --seconds 20 ||
  { echo "test-wine-burn: the monitor did not see the echo" >&2; exit 1; }
echo "test-wine-burn: the monitor saw the echo of the program the chip runs"
