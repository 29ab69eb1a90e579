#!/usr/bin/env bash
# Runs a GUI test program under Wine with simulated chips on the COM ports:
#   COM1  rm516x-sim, RM5164, paced to the rate the host sets
#   COM2  absent: opening it fails
#   COM3  rm516x-sim that never announces: a burn waits for it until stopped
#   COM4  an adapter that comes and goes: a silent simulator behind a link; when the test
#         makes the file RM_COM4_UNPLUG names, the simulator ends (its link goes, the port is
#         lost) and the script deletes the file; when it makes RM_COM4_PLUG, a new one starts
#         on the same link and the file is deleted once the link is back
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
wine_absent_com 2
sim 3 --fault silent=handshake
# Wine opens COM4 through the link, so each new simulator behind it is the same port.
com4=$work/com4
(
  chip=
  trap 'kill "$chip" 2>/dev/null; exit 0' TERM
  while :; do
    "$native/sim/rm516x-sim" --sessions 0 --chip RM5164 --fault silent=handshake --link "$com4" \
      >"$work/sim4.out" 2>&1 &
    chip=$!
    until [ -L "$com4" ]; do sleep 0.05; done
    rm -f "$work/plug"
    until [ -e "$work/unplug" ]; do sleep 0.05; done
    kill "$chip"
    wait "$chip"
    rm -f "$work/unplug"
    until [ -e "$work/plug" ]; do sleep 0.05; done
  done
) &
rm_children+=("$!")
for _ in $(seq 50); do [ -L "$com4" ] && break; sleep 0.1; done
wine_link_com 4 "$com4"
rm_linked_coms+=(4)
export RM_COM4_UNPLUG="Z:${work//\//\\}\\unplug" RM_COM4_PLUG="Z:${work//\//\\}\\plug"
wine_run "$@"
