#!/usr/bin/env bash
# read of a full RM5168 at 115200 bit/s from a paced simulator: wall time against the
# wire-time bound computed from the protocol's frame sizes.
# RM_BUILD_DIR=DIR uses an already built native tree (default build/native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RM_BUILD_DIR:-$root/build/native}
[ -f "$build/build.ninja" ] || "$root/scripts/build.sh" native >/dev/null
cmake --build "$build" --target rm516x-sim rm516x-isp >/dev/null
exec python3 "$root/bench/production_bench.py" read "$build"
