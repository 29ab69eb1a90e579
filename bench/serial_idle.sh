#!/usr/bin/env bash
# CPU cost of a serial read that waits 1 s for nothing (the handshake wait of a burn).
# Builds serial_idle_bench and prints wall and CPU time per read, then the whole process as
# /usr/bin/time sees it. It lives with the tests, which build/native leaves out: it is built
# in build/bench, the native tree's options with the tests (RM_BUILD_DIR=DIR: another tree).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RM_BUILD_DIR:-$root/build/bench}
[ -f "$build/build.ninja" ] ||
  cmake -S "$root" -B "$build" -G Ninja -DRM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target serial_idle_bench >/dev/null
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "process: %e s wall, %U s user, %S s system, %P CPU" "$build/tests/serial/serial_idle_bench" "${1:-3}"
else
  "$build/tests/serial/serial_idle_bench" "${1:-3}"
fi
