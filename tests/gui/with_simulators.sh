#!/usr/bin/env bash
# Runs a GUI test program under Wine with simulated chips on the COM ports:
#   COM1  rm516x-sim, RM5164, paced to the rate the host sets
#   COM2  absent: opening it fails
#   COM3  rm516x-sim that echoes the first erase byte wrongly
#   COM4  rm516x-sim that never announces: a burn waits for it until stopped
# RM_NATIVE_BUILD=DIR takes the simulator from an already configured native tree.
# Usage: with_simulators.sh PROGRAM.exe [ARGS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
native=${RM_NATIVE_BUILD:-$root/build/native}
if [ ! -f "$native/build.ninja" ]; then "$root/scripts/build.sh" native >/dev/null || exit 1; fi
cmake --build "$native" --target rm516x-sim >/dev/null || exit 1
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for n in 1 2 3 4; do wine_absent_com "$n"; done
  rm -rf "$work"
  wine_env_stop
}
trap cleanup EXIT
wine_env_start
sim() {  # COM number, simulator options...
  local n=$1
  shift
  wine_com_child "$n" "$work/sim$n.out" "$native/sim/rm516x-sim" --sessions 0 --idle-ms 1000 --chip RM5164 "$@" || exit 1
  sims+=("$rm_child")
}
sim 1 --pace
wine_absent_com 2
sim 3 --fault bad-erase-echo=0
sim 4 --fault silent=handshake

wine "$@" >"$work/program.log" 2>&1
rc=$?
grep -av '^fixme\|^err:\|^wine:' "$work/program.log"
exit $rc
