#!/usr/bin/env bash
# Burn benchmark (a)+(b) full RM5168 burn with verify at 115200 bit/s, paced: wall over wire-time bound, host CPU over wall.
# RM_BUILD_DIR=DIR uses an already built native tree (default build/native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RM_BUILD_DIR:-$root/build/native}
[ -f "$build/build.ninja" ] || "$root/scripts/build.sh" native >/dev/null
cmake --build "$build" --target rm516x-sim rm516x-isp >/dev/null
exec python3 "$root/bench/burn_bench.py" paced "$build" "$@"
