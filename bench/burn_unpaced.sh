#!/usr/bin/env bash
# Burn benchmark (c) the same burn without pacing: total time and host time per page.
# RM_BUILD_DIR=DIR uses an already built native tree (default build/native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RM_BUILD_DIR:-$root/build/native}
[ -f "$build/build.ninja" ] || "$root/scripts/build.sh" native >/dev/null
cmake --build "$build" --target rm516x-sim rm516x-isp >/dev/null
exec python3 "$root/bench/burn_bench.py" unpaced "$build" "$@"
