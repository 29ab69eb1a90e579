#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's own prefix (build/wineprefix) and a
# virtual display, and passes its exit code on. Wine's output goes to a file first: its
# background processes would hold a pipe open and the caller would never return.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
out=$(mktemp)
trap 'rm -f "$out"; wine_env_stop' EXIT
wine_env_start
# Ends a hung program itself, below ctest's 300 s, so that its own output is shown.
timeout "${RM_WINE_RUN_TIMEOUT:-240}" wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
exit $rc
