#!/usr/bin/env bash
# What only the real rm516x_isp.exe under Wine shows (the rest is gui_test's, in-process),
# driven with xdotool on a virtual display:
#   - a second start shows "Application is running." and exits 1 while the first runs on;
#   - Alt+F4 ends the first instance with exit code 0;
#   - the README's screenshots of the main window for each chip model (the menu switches it),
#     and the committed pictures match scripts/draw-resources.py.
# Screenshots go to build/gui-shots/ (RM_UPDATE_DOCS=1 also copies them to docs/).
# Environment: RM_MINGW_BUILD (a configured MinGW tree; default build/mingw, built first), WINEPREFIX (default
# build/wineprefix-gui), RM_XVFB_DISPLAY.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${RM_MINGW_BUILD:-}" ]; then scripts/build.sh mingw || exit 1; fi
exe=${RM_MINGW_BUILD:-$root/build/mingw}/app/rm516x_isp.exe
shots=$root/build/gui-shots
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-gui}
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
logs=$(mktemp -d)
trap 'rm -rf "$logs"; wine_env_stop' EXIT
wine_env_start
mkdir -p "$shots"

passed=0 failed=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"
  else failed=$((failed + 1)); echo "FAIL $what"; fi
}
# Polls a command every 0.1 s for up to 20 s.
wait_for() { for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done; return 1; }
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
press() {  # window, keys...
  xdotool windowfocus --sync "$1" 2>/dev/null
  shift
  xdotool key --clearmodifiers --delay 100 "$@"
}
# The face left of the chip picture is painted: green bands for the RM5164 (#00xx00), yellow
# for the RM5168 (#xxxx00), xx not 00.
face_is() {  # green|yellow
  local X Y WIDTH HEIGHT SCREEN WINDOW c
  eval "$(xdotool getwindowgeometry --shell "$main" 2>/dev/null)" || return 1
  c=$(timeout 10 import -window root -crop "1x1+$((X + 10))+$((Y + HEIGHT / 2))" -depth 8 txt:- 2>/dev/null |
    grep -o '#[0-9A-F]\{6\}')
  [ "${c:5:2}" = 00 ] && [ "${c:3:2}" != 00 ] && [ "${c:1:2}" = "$([ "$1" = green ] && echo 00 || echo "${c:3:2}")" ]
}
# The second start's box: a window of the main window's title that is not the main window.
second_box() { windows '^RM516X ISP utility$' | grep -vx "$main" | tail -n 1 | grep .; }

check "the committed pictures are the ones scripts/draw-resources.py draws" python3 scripts/draw-resources.py --check

# A fresh start: no stored settings, and a COM1 that cannot open, whose box comes first.
ini=$WINEPREFIX/drive_c/windows/win.ini
[ -f "$ini" ] && sed -i '/^\[RM516X_ISP\]/,/^\[/{/^\[RM516X_ISP\]/d;/^\[/!d}' "$ini"
wine_absent_com 1
wine "$exe" >"$logs/first.log" 2>&1 &
first=$!
wait_for windows '^Error$' >/dev/null && press "$(windows '^Error$' | tail -n 1)" Return
wait_for windows '^RM516X ISP utility$' >/dev/null
main=$(windows '^RM516X ISP utility$' | head -n 1)
check "the main window opens" test -n "$main"

if [ -n "$main" ]; then
  wait_for face_is green && import -window root "$shots/main-rm5164.png"
  wine "$exe" >"$logs/second.log" 2>&1 &
  second=$!
  check "a second start shows its box" wait_for eval 'second_box >/dev/null'
  box=$(second_box)
  [ -n "$box" ] && import -window "$box" "$shots/second-instance.png" && press "$box" Return
  wait "$second"
  second_rc=$?
  check "the second start ends with exit code 1 (got $second_rc)" test "$second_rc" -eq 1
  check "the first instance runs on" kill -0 "$first"

  press "$main" alt+s i 8  # Setting > IC > RM5168
  check "the menu switches the face to the RM5168's" wait_for face_is yellow
  import -window root "$shots/main-rm5168.png"
  press "$main" alt+F4
fi
if timeout 10 tail --pid="$first" -f /dev/null; then
  wait "$first"
  first_rc=$?
  check "Alt+F4 ends the program with exit code 0 (got $first_rc)" test "$first_rc" -eq 0
else
  kill "$first"
  check "Alt+F4 ends the program" false
fi

[ "${RM_UPDATE_DOCS:-0}" = 1 ] && cp "$shots"/main-rm5164.png "$shots"/main-rm5168.png "$root/docs/"
echo "screenshots in $shots"
# The summary line in ctest's words, which scripts/test.sh counts.
echo "gui: $((100 * passed / (passed + failed)))% tests passed, $failed tests failed out of $((passed + failed))"
[ "$failed" -eq 0 ]
