#!/usr/bin/env bash
# Starts the GUI under Wine on Linux, its COM1 wired to the chip simulator.
#   scripts/gui-demo.sh [RM5164|RM5168]
# Builds what is missing (rm516x-sim natively, rm516x_isp.exe with MinGW-w64), prepares a
# Wine prefix (build/wineprefix-demo unless WINEPREFIX is set), starts rm516x-sim on a
# pseudo-terminal and links COM1 to it, then runs the program until its window is closed.
# With DISPLAY set the window opens on that display; without it, on a virtual one (Xvfb,
# RM_XVFB_DISPLAY, default :93), where e.g. `import -window root shot.png` can see it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
chip=${1:-RM5164}
case $chip in
  RM5164|RM5168) ;;
  *) echo "usage: scripts/gui-demo.sh [RM5164|RM5168]" >&2; exit 2 ;;
esac

native=${RM_NATIVE_BUILD:-$root/build/native}
mingw=${RM_MINGW_BUILD:-$root/build/mingw}
sim=$native/sim/rm516x-sim
exe=$mingw/app/rm516x_isp.exe
if [ -f "$native/build.ninja" ]; then cmake --build "$native" --target rm516x-sim >/dev/null || exit 1
else scripts/build.sh native || exit 1; fi
if [ -f "$mingw/build.ninja" ]; then cmake --build "$mingw" --target rm516x_isp >/dev/null || exit 1
else scripts/build.sh mingw || exit 1; fi

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-demo}
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
wine_env_start

sim_out=$(mktemp)
"$sim" --chip "$chip" --sessions 0 >"$sim_out" 2>&1 &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  wine_absent_com 1
  rm -f "$sim_out"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$sim_out" ] && break; sleep 0.1; done
device=$(head -n 1 "$sim_out")
case $device in
  /dev/*) ;;
  *) echo "gui-demo: the simulator did not start: $device" >&2; exit 1 ;;
esac
wine_link_com 1 "$device"
echo "gui-demo: $chip simulator on $device as COM1; display $DISPLAY; prefix $WINEPREFIX"
echo "gui-demo: open a file (e.g. examples/), press Burn; close the window to end"
wine "$exe" >"$WINEPREFIX.gui-demo.log" 2>&1
