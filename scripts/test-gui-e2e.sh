#!/usr/bin/env bash
# rm516x_isp.exe driven as a user drives it, for what nothing in-process shows: real clicks on
# the toolbar and the burn dialog, a path typed into the real file dialog, the burn dialog's
# real pixels. COM1 is linked to rm516x-sim's pseudo-terminal; each scenario starts the
# simulator and the program afresh:
#   1. RM5164: Open, the path typed, Enter, Burn: green text, the flash holds the file;
#      Close hides the dialog and the Burn button is enabled again
#   2. a chip that echoes a page wrongly, Burn with nothing loaded (Open comes first): red
#      text with the Burn button enabled again
# Screenshots of the burn dialog go to build/gui-e2e/. Exits non-zero on the first failure.
# RM_MINGW_BUILD=DIR / RM_NATIVE_BUILD=DIR use already configured trees.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mingw=${RM_MINGW_BUILD:-$root/build/mingw}
native=${RM_NATIVE_BUILD:-$root/build/native}
if [ -z "${RM_MINGW_BUILD:-}" ]; then scripts/build.sh mingw >/dev/null || exit 1; fi
if [ -z "${RM_NATIVE_BUILD:-}" ]; then scripts/build.sh native >/dev/null || exit 1; fi
cmake --build "$mingw" --target rm516x_isp >/dev/null || exit 1
cmake --build "$native" --target rm516x-sim rm516x-isp >/dev/null || exit 1
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
# Keys and clicks go to a virtual display: the run's own, or one started here.
[ -n "${RM_XVFB_PID:-}" ] || unset DISPLAY
shots=$root/build/gui-e2e
mkdir -p "$shots"
rm -f "$shots/failure-screen.png"
work=$(mktemp -d)
sim= gui= started=$SECONDS

cleanup() {
  [ -n "$gui" ] && kill "$gui" 2>/dev/null
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  wine_absent_com 1
  rm -rf "$work"
  wine_env_stop
}
trap cleanup EXIT
wine_env_start

fail() {
  echo "test-gui-e2e: FAILED: $*" >&2
  shoot root "$shots/failure-screen.png"
  [ -f "$work/sim.log" ] && tail -n 5 "$work/sim.log" >&2
  exit 1
}
step() { echo "[$((SECONDS - started))s] $*"; }

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# The profile section the program starts from (the prefix's win.ini), as its last section.
set_profile() {
  local ini=$WINEPREFIX/drive_c/windows/win.ini
  [ -f "$ini" ] && sed -i '/^\[RM516X_ISP\]/,/^\[/{/^\[RM516X_ISP\]/d;/^\[/!d}' "$ini"
  printf '[RM516X_ISP]\r\n' >>"$ini"
  printf '%s\r\n' "$@" >>"$ini"
}

start_sim() {  # simulator options...
  wine_com_child 1 "$work/sim.out" "$native/sim/rm516x-sim" --flash-out "$work/flash.bin" \
    --log "$work/sim.log" --idle-ms 1500 "$@" || fail "the simulator did not start"
  sim=$rm_child
}

stop_sim() {
  kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  sim=
  ! grep VIOLATION "$work/sim.log" >&2 || fail "the simulator saw protocol violations"
}

wait_window() {  # title pattern -> window id
  timeout 30 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

# Window geometry into X, Y, WIDTH, HEIGHT.
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }

click_at() { xdotool mousemove --sync "$1" "$2" click 1; }

# A control of a dialog, by its centre in dialog units (the template's size scales them).
click_dlu() {  # window, x, y, template width, template height
  geometry "$1"
  click_at $((X + $2 * WIDTH / $4)) $((Y + $3 * HEIGHT / $5))
}

# Toolbar buttons, by their centres from the main window's corner.
open_x=15 burn_x=54
toolbar() { geometry "$main"; click_at $((X + $1)) $((Y + 38)); }  # x

# The burn button's red dot is drawn only while the button is enabled.
burn_button_enabled() {
  geometry "$main"
  timeout 10 import -window root -crop "1x1+$((X + burn_x))+$((Y + 38))" -depth 8 txt:- 2>/dev/null |
    grep -q '#FF0000'
}

# The burn dialog: a visible window of the program without a caption, over three times as
# wide as high (a closing dialog loses its caption too, but is not that shape).
burn_dialog() {
  local w
  for w in $(xdotool search --onlyvisible --class rm516x_isp.exe 2>/dev/null); do
    [ -z "$(xdotool getwindowname "$w" 2>/dev/null)" ] || continue
    geometry "$w" 2>/dev/null || continue
    [ $((WIDTH * 10)) -gt $((HEIGHT * 30)) ] && { echo "$w"; return 0; }
  done
  return 1
}

# import asks for a click when its window has gone: never let it wait.
shoot() { timeout 10 import -window "$1" "$2" 2>/dev/null; }

# The burn dialog shows text in a colour (40 pixels or more); leaves its picture in $work/dialog.png.
text_colour() {  # rgb(r,g,b)
  local dialog
  dialog=$(burn_dialog) && shoot "$dialog" "$work/dialog.png" && [ "$(convert "$work/dialog.png" -fill black \
    +opaque "$1" -fill white -opaque "$1" -format '%[fx:round(mean*w*h)]' info:)" -ge 40 ]
}

# Polls a command every 0.1 s for up to SECONDS.
wait_for() {  # seconds, command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
no_burn_dialog() { ! burn_dialog >/dev/null; }

start_gui() {
  wine "$mingw/app/rm516x_isp.exe" >"$work/gui.log" 2>&1 &
  gui=$!
  main=$(wait_window '^RM516X ISP utility') && [ -n "$main" ] || fail "the main window did not appear"
}

stop_gui() {
  geometry "$main"
  # A click on the window's face makes it the active window, which Alt+F4 then closes.
  click_at $((X + 100)) $((Y + HEIGHT - 60))
  xdotool key alt+F4
  timeout 15 tail --pid="$gui" -f /dev/null || kill "$gui" 2>/dev/null
  gui=
}

# Open through the file dialog: the path typed into its file name field, then Enter.
type_into_file_dialog() {  # path
  geometry "$(wait_window '^Open HEX or BIN file$')" 2>/dev/null || fail "the file dialog did not appear"
  xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT - 20))
  xdotool type --delay 10 "$(winpath "$1")"
  # The field may be showing its completion list, which takes the first Enter.
  for _ in 1 2 3; do
    xdotool key Return
    wait_for 2 eval '! xdotool search --onlyvisible --name "^Open HEX or BIN file$" >/dev/null 2>&1' && return 0
  done
  fail "the file dialog did not take the typed path"
}

confirm_fill() {
  local dialog
  dialog=$(wait_window '^Unused bytes$') && [ -n "$dialog" ] || fail "the Unused bytes dialog did not appear"
  click_dlu "$dialog" 40 72 81 86
}

# The simulator's flash holds file over the burned range, as the command line's loader lays it out.
flash_holds() {  # file
  XDG_CONFIG_HOME=$work/cfg "$native/cli/rm516x-isp" info --chip RM5164 --fill 0xFF --json \
    --image-out "$work/expected.bin" "$1" >"$work/info.json" || fail "rm516x-isp info failed"
  local size
  size=$(grep -o '"bank0_size": *[0-9]*' "$work/info.json" | grep -o '[0-9]*$')
  wait_for 10 cmp -s -n "$size" "$work/flash.bin" "$work/expected.bin"
}

blink=$root/examples/blink.hex
close_burn_dialog() { click_dlu "$(burn_dialog)" 185 47 206 61; }

step "RM5164: open through the file dialog, burn, Close"
start_sim --chip RM5164
set_profile ChipID=0 Verify=1 BaudRate=7 ComPort=0 UnusedBytes=255
start_gui
toolbar $open_x
type_into_file_dialog "$blink"
confirm_fill
toolbar $burn_x
wait_for 30 text_colour "rgb(0,255,0)" || fail "no green text after the burn"
cp "$work/dialog.png" "$shots/burn-success.png"
flash_holds "$blink" || fail "the simulator's flash differs from the file over the burned range"
close_burn_dialog
wait_for 5 no_burn_dialog || fail "Close did not hide the burn dialog"
wait_for 5 burn_button_enabled || fail "Close did not enable the Burn button"
stop_gui
stop_sim

step "a chip that echoes a page wrongly; Burn with nothing loaded opens first"
start_sim --chip RM5164 --fault bad-page-echo=0
set_profile ChipID=0 Verify=1 BaudRate=7 ComPort=0 UnusedBytes=255 "OpenFileName1=$(winpath "$blink")"
start_gui
toolbar $burn_x
type_into_file_dialog "$blink"
confirm_fill
# The red waiting text may come first; the failure is red text with Burn enabled again.
wait_for 30 burn_button_enabled || fail "the Burn button stayed disabled after the failure"
wait_for 5 text_colour "rgb(255,0,0)" || fail "the failure text is not red"
cp "$work/dialog.png" "$shots/burn-failure.png"
stop_gui
stop_sim

step "all scenarios passed; screenshots in $shots"
