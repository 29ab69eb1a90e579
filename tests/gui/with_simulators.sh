#!/usr/bin/env bash
# Runs a GUI test program under Wine with simulated chips on the COM ports:
#   COM1  rm516x-sim, RM5164, paced to the rate the host sets
#   COM2  absent: opening it fails
#   COM3  rm516x-sim that never announces: a burn waits for it until stopped
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
wine_run "$@"
