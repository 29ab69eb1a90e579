#!/usr/bin/env bash
# The main job, without a chip: load the sample firmware under examples/ and show what would
# be burned, then burn it into the simulated chip and compare the chip's flash with the file.
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

# Burn both samples into a simulated RM5168, one per bank, as a user with a chip would.
work=$(mktemp -d)
sim_pid=
trap 'kill $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT
"$sim" --chip RM5168 --flash-out "$work/flash.bin" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
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
