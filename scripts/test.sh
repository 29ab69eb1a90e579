#!/usr/bin/env bash
# Every test, from a fresh clone: installs what is missing, builds the trees, and runs every
#   unit test under AddressSanitizer+UBSan, the tests labelled threads again under
#   ThreadSanitizer, the fuzz target over its corpus and for RM_FUZZ_SECONDS (default 20), and
#   every other scripts/test-*.sh: the Windows build's tests under Wine and the packages.
#   Ends with one line "N passed, M failed".
# On two cores the run is as long as the CPU work in it, so nothing waits for anything it does
# not need: the trees build in the background, two at a time and below the tests' priority,
# and two lanes of stages, the native ones and the Wine ones (one display, one prefix), each
# start a stage once its trees are built. A stage's output goes to build/test-logs/NAME.log,
# a tree's build to build/test-logs/build-TREE.log; each is shown when it is done.
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
for prefix in "$root/build/wineprefix"; do
  [ -z "$(wine_prefix_pids "$prefix")" ] && prefixes+=("$prefix")
done
# Each lane runs in a process group of its own, so that an interrupted run ends all of it.
set -m
lanes=()
end_run() {
  local pid prefix
  for pid in "${lanes[@]}"; do kill -- "-$pid" 2>/dev/null; done
  for prefix in "${prefixes[@]}"; do wine_end_prefix "$prefix"; done
  wine_env_stop
}
trap end_run EXIT
unset DISPLAY
wine_display_start || exit 1
xvfb=$rm_owned_xvfb

logdir=$root/build/test-logs
state=$root/build/test-state
rm -rf "$state"
mkdir -p "$logdir" "$state"

# build_lane TREE...: builds them one after the other, at the lowest priority: the tools and
# simulated chips the tests start keep their 100 ms answers only with the CPU when they need it.
build_lane() {
  local tree start rc
  for tree; do
    start=$SECONDS
    nice -n 19 scripts/build.sh "$tree" >"$logdir/build-$tree.log" 2>&1
    rc=$?
    echo "$((SECONDS - start)) s" >"$state/build-$tree.time"
    echo $rc >"$state/build-$tree"
  done
}

# built TREE...: waits for the trees' builds; false, with the end of its log, if one failed.
built() {
  local tree ok=0
  for tree; do
    until [ -s "$state/build-$tree" ]; do sleep 0.5; done
    if [ "$(cat "$state/build-$tree")" -ne 0 ]; then
      echo "build of $tree failed (build/test-logs/build-$tree.log):"
      tail -n 30 "$logdir/build-$tree.log"
      ok=1
    fi
  done
  return $ok
}

# run NAME COMMAND...: a stage, its output into its log and its exit code beside it.
run() {
  local name=$1; shift
  "$@" >"$logdir/$name.log" 2>&1
  echo $? >"$state/$name"
}

ctest_tree() {  # tree, ctest args...
  local tree=$1; shift
  built "$tree" && ctest --test-dir "build/$tree" --output-on-failure --timeout 300 "$@"
}

native_lane() {
  # Two at a time: more, and tools and simulated chips under the sanitizers miss their
  # 100 ms answers.
  run sanitizers ctest_tree asan -j 2
  run threads ctest_tree tsan -L threads -j 2
  run fuzz script_stage fuzz fuzz
}

script_stage() {  # name, trees...: scripts/test-NAME.sh once the trees are built
  local name=$1; shift
  built "$@" && "scripts/test-$name.sh"
}

wine_lane() {
  local name
  # The prefix is made while the trees build; its server ends before the stages start theirs,
  # and the run's display stays.
  (rm_owned_xvfb= && wine_env_start && wine_env_stop) >"$logdir/wine-prefix.log" 2>&1
  for name in "${wine_stages[@]}"; do
    run "$name" script_stage "$name" mingw native
  done
}
# Every other scripts/test-*.sh is a Wine or package stage.
wine_stages=()
for extra in scripts/test-*.sh; do
  name=$(basename "$extra" .sh)
  [ -x "$extra" ] && [ "$name" != test-fuzz ] && wine_stages+=("${name#test-}")
done

build_lane asan tsan fuzz & lanes+=("$!")
build_lane mingw native & lanes+=("$!")
native_lane & lanes+=("$!")
wine_lane & lanes+=("$!")

passed=0 failed=0
# count NAME: adds the stage's tests to the tally: ctest's summary line when it has one,
# else one test that passed when it exited 0.
count() {
  local name=$1 rc line total fail
  rc=$(cat "$state/$name")
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logdir/$name.log" | tail -n 1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fail=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - fail)); failed=$((failed + fail))
    # A run that failed with every test passed failed in something else.
    [ "$rc" -ne 0 ] && [ "$fail" -eq 0 ] && failed=$((failed + 1))
  elif [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}

# The stages' logs in the order they end, and a line for each tree built.
left=(build-asan build-tsan build-fuzz build-mingw build-native sanitizers threads fuzz "${wine_stages[@]}")
while ((${#left[@]})); do
  waiting=()
  for name in "${left[@]}"; do
    if [ ! -s "$state/$name" ]; then
      waiting+=("$name")
    elif [[ $name == build-* ]]; then
      echo "--- ${name#build-} built in $(cat "$state/$name.time"), exit code $(cat "$state/$name") (build/test-logs/$name.log)"
    else
      echo "=== $name"
      cat "$logdir/$name.log"
      count "$name"
    fi
  done
  left=("${waiting[@]}")
  ((${#left[@]})) && sleep 0.5
done
# The lanes only: the run's Xvfb is a child too.
wait "${lanes[@]}"

stage_cleanup() {
  for prefix in "${prefixes[@]}"; do wine_end_prefix "$prefix"; done
  wine_env_stop
  wine_check_ended "$xvfb" "${prefixes[@]}"
}
run wine-cleanup stage_cleanup
echo "=== wine-cleanup"
cat "$logdir/wine-cleanup.log"
count wine-cleanup

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
