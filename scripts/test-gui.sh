#!/usr/bin/env bash
# The real rm516x_isp.exe under Wine with a virtual display, driven with xdotool:
#   - start-up with a COM1 that cannot open: the "Error" box comes first, Enter dismisses it;
#   - a second start shows "Application is running." and exits 1 while the first runs on;
#   - screenshots of the main window for each chip model (the menu switches the model);
#   - Alt+F4 ends the first instance with exit code 0;
#   - the committed pictures match scripts/draw-resources.py.
# Screenshots go to build/gui-shots/ (RM_UPDATE_DOCS=1 also copies them to docs/).
# Environment: RM_MINGW_BUILD (a configured MinGW tree; default build/mingw, built first), WINEPREFIX (default
# build/wineprefix-gui), RM_XVFB_DISPLAY.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${RM_MINGW_BUILD:-}" ]; then
  scripts/build.sh mingw || exit 1
fi
tree=${RM_MINGW_BUILD:-$root/build/mingw}
exe=$tree/app/rm516x_isp.exe
shots=$root/build/gui-shots
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-gui}
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
logs=$(mktemp -d)
trap 'rm -rf "$logs"; wine_env_stop' EXIT
wine_env_start
mkdir -p "$shots"
title='^RM516X ISP utility$'

passed=0 failed=0
check() {  # description, condition...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"
  else failed=$((failed + 1)); echo "FAIL $what"; fi
}

# Waits up to ~20 s for a window whose name matches; prints the ids, newest last.
wait_window() {
  local pattern=$1 ids
  for _ in $(seq 200); do
    ids=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null)
    [ -n "$ids" ] && { echo "$ids"; return 0; }
    sleep 0.1
  done
  return 1
}

press() {  # window, keys...
  local window=$1; shift
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key --clearmodifiers "$@"
}

still_running() { kill -0 "$1" 2>/dev/null; }
window_exists() { xdotool getwindowname "$1" >/dev/null 2>&1; }

check "the committed pictures are the ones scripts/draw-resources.py draws" \
  python3 scripts/draw-resources.py --check

# A fresh start: no stored settings, and a COM1 that cannot open.
ini=$WINEPREFIX/drive_c/windows/win.ini
if [ -f "$ini" ]; then
  awk 'BEGIN{skip=0} /^\[/{skip=($0 ~ /^\[RM516X_ISP\]/)} !skip' "$ini" >"$ini.tmp" && mv "$ini.tmp" "$ini"
fi
wine_absent_com 1

wine "$exe" >"$logs/first.log" 2>&1 &
first=$!
box=$(wait_window '^Error$' | tail -n 1)
check "start-up shows the COM error box before the main window" test -n "$box"
[ -n "$box" ] && press "$box" Return
main=$(wait_window "$title" | head -n 1)
check "the main window opens after the box" test -n "$main"

if [ -n "$main" ]; then
  sleep 1
  import -window root "$shots/main-rm5164.png"

  wine "$exe" >"$logs/second.log" 2>&1 &
  second=$!
  running_box=""
  for _ in $(seq 200); do
    for id in $(xdotool search --onlyvisible --name "$title" 2>/dev/null); do
      [ "$id" != "$main" ] && running_box=$id
    done
    [ -n "$running_box" ] && break
    sleep 0.1
  done
  check "a second start shows its box" test -n "$running_box"
  [ -n "$running_box" ] && import -window "$running_box" "$shots/second-instance.png"
  [ -n "$running_box" ] && press "$running_box" Return
  wait "$second"
  second_rc=$?
  check "the second start ends with exit code 1 (got $second_rc)" test "$second_rc" -eq 1
  check "the first instance runs on" still_running "$first"
  check "the first window is still there" window_exists "$main"

  # Setting > IC > RM516&8 through the menu's access keys.
  press "$main" alt+s
  sleep 0.3
  xdotool key i
  sleep 0.3
  xdotool key 8
  sleep 1
  import -window root "$shots/main-rm5168.png"
  check "the profile holds the model chosen in the menu" grep -qx 'ChipID=1' <(tr -d '\r' <"$ini")

  press "$main" alt+F4
fi
for _ in $(seq 100); do still_running "$first" || break; sleep 0.1; done
if still_running "$first"; then
  kill "$first"
  check "Alt+F4 ends the program" false
else
  wait "$first"
  first_rc=$?
  check "Alt+F4 ends the program with exit code 0 (got $first_rc)" test "$first_rc" -eq 0
fi

if [ "${RM_UPDATE_DOCS:-0}" = 1 ]; then
  cp "$shots"/main-rm5164.png "$shots"/main-rm5168.png "$root/docs/" 2>/dev/null
fi
echo "screenshots in $shots"
# The summary line in ctest's words, which scripts/test.sh counts.
echo "gui: $((100 * passed / (passed + failed)))% tests passed, $failed tests failed out of $((passed + failed))"
[ "$failed" -eq 0 ]
