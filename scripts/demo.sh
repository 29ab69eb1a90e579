#!/usr/bin/env bash
# The main job, without a chip: load the sample firmware under examples/ for both chips and
# show what would be burned. Builds the native tree first if needed. Your profile is read
# for nothing here (each run names its chip and fill value) and never written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
isp=${RM_ISP:-$root/build/native/cli/rm516x-isp}
if [ ! -x "$isp" ]; then
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" native
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
run info --chip RM5164 --fill 0x00 examples/blink.bin
run info --chip RM5168 --fill 0xFF examples/blink.ihx
run info --chip RM5168 --fill 0xFF examples/blink.hex examples/echo.hex
run info --chip RM5168 --fill 0x00 --json examples/blink.hex examples/echo.hex
run info --chip RM5164 examples/missing.hex
