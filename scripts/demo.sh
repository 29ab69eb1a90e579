#!/usr/bin/env bash
# The main job, without a chip: load the sample firmware under examples/ and show what would
# be burned, then burn it into the simulated chip and compare the chip's flash with the file.
# Last, burn the echo program into a simulated chip that runs it, and talk to it.
# Builds the native tree first if needed. Each run names its chip and fill value; the
# profile is never written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
isp=${RM_ISP:-$root/build/native/cli/rm516x-isp}
sim=${RM_SIM:-$root/build/native/sim/rm516x-sim}
if [ -z "${RM_ISP:-}" ]; then  # build (or bring up to date) the native tree first
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" native >/dev/null
fi
cd "$root"

run() {
  echo "\$ rm516x-isp $*"
  local rc=0
  "$isp" "$@" 2>&1 || rc=$?
  echo "(exit status $rc)"
  echo
}

run info --chip RM5164 --fill 0xFF examples/blink.hex
run info --chip RM5168 --fill 0xFF examples/blink.hex examples/echo.hex
run info --chip RM5164 examples/missing.hex

work=$(mktemp -d)

start_sim() {  # output file, simulator options...: prints the device it plays on
  local out=$1; shift
  "$sim" "$@" >"$out" 2>&1 &
  last_sim=$!
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
}

# Burn both samples into a simulated RM5168, one per bank, as a user with a chip would.
sim_pid=
run_pid=
trap 'kill $sim_pid $run_pid 2>/dev/null || true; rm -rf "$work"' EXIT
start_sim "$work/sim.out" --chip RM5168 --flash-out "$work/flash.bin"
sim_pid=$last_sim
port=$(head -n 1 "$work/sim.out")
echo "(rm516x-sim plays an RM5168 on $port)"
run burn --chip RM5168 --fill 0xFF --port "$port" --baud 115200 --verify \
  examples/blink.hex examples/echo.hex
wait "$sim_pid"
"$isp" info --chip RM5168 --fill 0xFF --image-out "$work/image.bin" \
  examples/blink.hex examples/echo.hex >/dev/null
# Burned ranges: bank 0 from 0x00000 and bank 1 from 0x10000, 512 bytes each.
if cmp -s <(head -c 512 "$work/flash.bin") <(head -c 512 "$work/image.bin") &&
   cmp -s <(tail -c +65537 "$work/flash.bin" | head -c 512) \
          <(tail -c +65537 "$work/image.bin" | head -c 512); then
  echo "The simulated chip's flash equals the files, byte for byte, over both burned ranges."
else
  echo "The simulated chip's flash differs from the files." >&2
  exit 1
fi
echo

# The chip leaves its bootloader for the program it was given: s51 runs it, with its UART on
# the same line, and the monitor sees the 8051 echo what it sends.
start_sim "$work/run.out" --chip RM5164 --run
run_pid=$last_sim
port=$(head -n 1 "$work/run.out")
echo "(rm516x-sim --run plays an RM5164 on $port and runs what is burned into it)"
run burn --chip RM5164 --fill 0xFF --port "$port" --baud 9600 examples/echo.hex
line="hello from the host"
echo "\$ echo '$line' | rm516x-isp monitor --port $port --baud 9600 --expect '$line' --seconds 5"
rc=0
echo "$line" | "$isp" monitor --port "$port" --baud 9600 --expect "$line" --seconds 5 2>&1 || rc=$?
echo "(exit status $rc)"
echo
if [ "$rc" -eq 0 ]; then
  echo "The program burned into the simulated chip echoed the line."
else
  echo "The simulated chip did not echo the line." >&2
  exit 1
fi
