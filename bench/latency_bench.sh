#!/usr/bin/env bash
# What a USB adapter's latency timer costs: a full RM5164 burn with verify at 115200 bit/s
# through a simulator holding its answers up to 16 ms, then up to 1 ms (what low latency
# gives). Unpaced, so the difference is the latency alone; --pace as argument adds wire time.
# RM_BUILD_DIR=DIR uses an already built native tree (default build/native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RM_BUILD_DIR:-$root/build/native}
[ -f "$build/build.ninja" ] || "$root/scripts/build.sh" native >/dev/null
cmake --build "$build" --target rm516x-sim rm516x-isp >/dev/null
pace=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 131 + (i >> 8)) & 0xFF for i in range(254 * 256)))' \
  > "$work/full.bin"

burn_seconds() {  # latency_ms
  "$build/sim/rm516x-sim" --chip RM5164 --marker-ms 0 --latency-ms "$1" "${pace[@]}" > "$work/sim.out" &
  local sim=$! device=""
  for _ in $(seq 100); do
    device=$(head -n1 "$work/sim.out")
    [ -n "$device" ] && break
    sleep 0.05
  done
  local start end
  start=$(date +%s.%N)
  XDG_CONFIG_HOME=$work "$build/cli/rm516x-isp" burn --chip RM5164 --port "$device" --baud 115200 \
    --verify "$work/full.bin" > /dev/null
  end=$(date +%s.%N)
  wait "$sim"
  echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

echo "full RM5164 burn (254 pages) with verify, 115200 bit/s, ${pace[*]:-unpaced}"
slow=$(burn_seconds 16)
fast=$(burn_seconds 1)
echo "  --latency-ms 16: $slow s"
echo "  --latency-ms 1:  $fast s"
