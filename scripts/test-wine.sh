#!/usr/bin/env bash
# The Windows build's tests, run under Wine with a virtual display.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/build.sh mingw || exit 1
. scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start
ctest --test-dir build/mingw --output-on-failure --timeout 300
