#!/usr/bin/env bash
# Several ports at once: a full RM5168 burn with verify at 115200 bit/s on four paced
# simulators against the single-port burn of the same image, in the same run: both walls,
# their ratio and the host CPU per port (rm516x-isp and its children; simulators excluded).
# An argument sets the number of ports. RM_BUILD_DIR=DIR uses an already built native tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RM_BUILD_DIR:-$root/build/native}
[ -f "$build/build.ninja" ] || "$root/scripts/build.sh" native >/dev/null
cmake --build "$build" --target rm516x-sim rm516x-isp >/dev/null
exec python3 "$root/bench/production_bench.py" gang "$build" "$@"
