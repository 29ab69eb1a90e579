#!/usr/bin/env bash
# Every test, from a fresh clone: installs what is missing, builds every tree, runs
#   native tests, the same under AddressSanitizer+UBSan and under ThreadSanitizer,
#   the fuzz targets for RM_FUZZ_SECONDS (default 60) each, and the Windows build's tests
#   under Wine. Ends with one line "N passed, M failed".
# The Wine stages share one Xvfb started here; each ends the wineserver of the prefix it
# started. Whatever way the run ends, its Xvfb and the wineservers of the project's prefixes
# that were idle when it began are ended too; a last stage checks that none remains.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh || exit 1

# shellcheck source=wine-env.sh
. scripts/wine-env.sh
prefixes=()
for prefix in "$root/build/wineprefix" "$root/build/wineprefix-gui"; do
  [ -z "$(wine_prefix_pids "$prefix")" ] && prefixes+=("$prefix")
done
end_wine() {
  local prefix
  for prefix in "${prefixes[@]}"; do wine_end_prefix "$prefix"; done
  wine_env_stop
}
trap end_wine EXIT
unset DISPLAY
wine_display_start || exit 1
xvfb=$rm_owned_xvfb

passed=0 failed=0
logdir=$root/build/test-logs
mkdir -p "$logdir"

stage() {  # name, command...
  local name=$1; shift
  echo "=== $name"
  "$@" 2>&1 | tee "$logdir/$name.log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logdir/$name.log" | tail -n 1)
  if [ -n "$line" ]; then
    local total fail
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fail=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - fail)); failed=$((failed + fail))
  elif [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  fi
  if [ "$rc" -ne 0 ] && [ -z "$line" ]; then failed=$((failed + 1)); fi
  if [ "$rc" -ne 0 ] && [ -n "$line" ] && [ "${fail:-0}" -eq 0 ]; then failed=$((failed + 1)); fi
  return 0
}

ctest_tree() {  # tree
  scripts/build.sh "$1" && ctest --test-dir "build/$1" --output-on-failure -j 2 --timeout 300
}

stage native ctest_tree native
stage sanitizers ctest_tree asan
stage threads ctest_tree tsan
for extra in scripts/test-*.sh; do
  [ -x "$extra" ] || continue
  name=$(basename "$extra" .sh)
  stage "${name#test-}" "$extra"
done

end_wine
stage wine-cleanup wine_check_ended "$xvfb" "${prefixes[@]}"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
