#!/usr/bin/env bash
# Runs a GUI test program under Wine with simulated chips on the COM ports:
#   COM1  rm516x-sim, RM5164, paced to the rate the host sets
#   COM3  rm516x-sim that never announces: a burn waits for it until stopped
#   COM4  an adapter that comes and goes: each time the test makes the file RM_COM4_TOGGLE
#         names, the silent simulator behind a link ends (the port is lost) or a new one
#         starts on the same link; the file goes once that is done
# RM_NATIVE_BUILD=DIR takes the simulator from an already configured native tree.
# Usage: with_simulators.sh PROGRAM.exe [ARGS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
wine_build native rm516x-sim || exit 1
wine_session
sim() {  # COM number, simulator options...
  wine_com_child "$1" "$work/sim$1.out" "$native/sim/rm516x-sim" --sessions 0 --idle-ms 1000 --chip RM5164 "${@:2}" ||
    exit 1
}
sim 1 --pace
sim 3 --fault silent=handshake
# Wine opens COM4 through the link, so each new simulator behind it is the same port.
(
  trap 'kill $! 2>/dev/null; exit 0' TERM
  while :; do
    "$native/sim/rm516x-sim" --sessions 0 --chip RM5164 --fault silent=handshake --link "$work/com4" \
      >"$work/sim4.out" 2>&1 &
    until [ -L "$work/com4" ]; do sleep 0.05; done
    rm -f "$work/toggle"
    until [ -e "$work/toggle" ]; do sleep 0.05; done
    kill $!
    wait $!
    rm -f "$work/toggle"
    until [ -e "$work/toggle" ]; do sleep 0.05; done
  done
) &
rm_children+=("$!")
for _ in $(seq 50); do [ -L "$work/com4" ] && break; sleep 0.1; done
wine_link_com 4 "$work/com4"
rm_linked_coms+=(4)
export RM_COM4_TOGGLE="Z:${work//\//\\}\\toggle"
wine_run "$@"
