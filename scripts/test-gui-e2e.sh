#!/usr/bin/env bash
# rm516x_isp.exe under Wine, driven as a user drives it with xdotool on a virtual display, for
# what nothing in-process shows. One start of the program, COM1 linked to rm516x-sim (RM5164):
#   - a second start shows its box and exits with 1 while the first runs on;
#   - Open on the toolbar, the path typed into the real file dialog, Enter, OK for the fill,
#     the title names the file; Burn: green text in the burn dialog's real pixels (the chip
#     verified what was loaded); Close hides the dialog and the Burn button's red dot comes back;
#   - Setting > IC > RM5168 turns the face yellow; Alt+F4 ends the program with exit code 0.
# Also checks that the committed pictures are the ones scripts/draw-resources.py draws.
# Screenshots go to build/gui-shots/: main-rm5164.png, main-rm5168.png and burn-success.png
# (RM_UPDATE_DOCS=1 copies them to docs/); failure-screen.png when a step fails.
# RM_MINGW_BUILD=DIR / RM_NATIVE_BUILD=DIR use already configured trees.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
wine_build mingw rm516x_isp || exit 1
wine_build native rm516x-sim || exit 1
exe=$mingw/app/rm516x_isp.exe
shots=$root/build/gui-shots
mkdir -p "$shots"
rm -f "$shots/failure-screen.png"
# Keys and clicks go to a virtual display: the run's own, or one started here.
[ -n "${RM_XVFB_PID:-}" ] || unset DISPLAY
wine_session
started=$SECONDS

# import asks for a click when its window has gone: never let it wait.
shoot() { timeout 10 import -window "$1" "$2" 2>/dev/null; }
fail() {
  echo "test-gui-e2e: FAILED: $*" >&2
  shoot root "$shots/failure-screen.png"
  [ -f "$work/sim.log" ] && tail -n 5 "$work/sim.log" >&2
  exit 1
}
step() { echo "[$((SECONDS - started))s] $*"; }
# Polls a command every 0.1 s for up to SECONDS.
wait_for() {  # seconds, command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
wait_window() { timeout 30 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# Window geometry into X, Y, WIDTH, HEIGHT.
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }
click_at() { xdotool mousemove --sync "$1" "$2" click 1; }
# A control of a dialog, by its centre in dialog units (the template's size scales them).
click_dlu() {  # window, x, y, template width, template height
  geometry "$1"
  click_at $((X + $2 * WIDTH / $4)) $((Y + $3 * HEIGHT / $5))
}
# The colour of one pixel of the screen, as #RRGGBB.
pixel() { timeout 10 import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}'; }

# Toolbar buttons, by their centres from the main window's corner.
open_x=15 burn_x=54
toolbar() { geometry "$main"; click_at $((X + $1)) $((Y + 38)); }
# The burn button's red dot is drawn only while the button is enabled.
burn_button_enabled() { geometry "$main" && [ "$(pixel $((X + burn_x)) $((Y + 38)))" = '#FF0000' ]; }
# The face left of the chip picture: green bands for the RM5164 (#00xx00), yellow for the
# RM5168 (#xxxx00), xx not 00.
face_is() {  # green|yellow
  local c
  geometry "$main" 2>/dev/null && c=$(pixel $((X + 10)) $((Y + HEIGHT / 2))) || return 1
  [ "${c:5:2}" = 00 ] && [ "${c:3:2}" != 00 ] && [ "${c:1:2}" = "$([ "$1" = green ] && echo 00 || echo "${c:3:2}")" ]
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
no_burn_dialog() { ! burn_dialog >/dev/null; }
# The burn dialog shows text in a colour (40 pixels or more); leaves its picture in $work/dialog.png.
text_colour() {  # rgb(r,g,b)
  local dialog
  dialog=$(burn_dialog) && shoot "$dialog" "$work/dialog.png" && [ "$(convert "$work/dialog.png" -fill black \
    +opaque "$1" -fill white -opaque "$1" -format '%[fx:round(mean*w*h)]' info:)" -ge 40 ]
}
# The second start's box: a window of the main window's title that is not the main window.
second_box() { windows '^RM516X ISP utility$' | grep -vx "$main" | tail -n 1 | grep .; }

python3 scripts/draw-resources.py --check || fail "the committed pictures differ from what scripts/draw-resources.py draws"

step "start with COM1 on a simulated RM5164"
blink=$root/examples/blink.hex
wine_com_child 1 "$work/sim.out" "$native/sim/rm516x-sim" --chip RM5164 --log "$work/sim.log" --idle-ms 1500 ||
  fail "the simulator did not start"
# The profile section the program starts from (the prefix's win.ini), as its last section.
ini=$WINEPREFIX/drive_c/windows/win.ini
[ -f "$ini" ] && sed -i '/^\[RM516X_ISP\]/,/^\[/{/^\[RM516X_ISP\]/d;/^\[/!d}' "$ini"
printf '[RM516X_ISP]\r\nChipID=0\r\nVerify=1\r\nBaudRate=7\r\nComPort=0\r\nUnusedBytes=255\r\n' >>"$ini"
wine "$exe" >"$work/gui.log" 2>&1 &
gui=$!
rm_children+=("$gui")
main=$(wait_window '^RM516X ISP utility$') && [ -n "$main" ] || fail "the main window did not appear"
wait_for 20 face_is green || fail "the face is not the RM5164's"
shoot root "$shots/main-rm5164.png"

step "a second start"
wine "$exe" >"$work/second.log" 2>&1 &
second=$!
wait_for 20 eval 'second_box >/dev/null' || fail "a second start shows no box"
xdotool windowfocus --sync "$(second_box)" 2>/dev/null
xdotool key --clearmodifiers Return
wait "$second"
second_rc=$?
[ "$second_rc" -eq 1 ] || fail "the second start ended with $second_rc, not 1"
kill -0 "$gui" || fail "the first instance ended with the second"

step "open through the file dialog, burn, Close"
toolbar $open_x
geometry "$(wait_window '^Open HEX or BIN file$')" 2>/dev/null || fail "the file dialog did not appear"
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT - 20))
xdotool type --delay 10 "Z:${blink//\//\\}"
# The field may be showing its completion list, which takes the first Enter.
for _ in 1 2 3; do
  xdotool key Return
  wait_for 2 eval '[ -z "$(windows "^Open HEX or BIN file$")" ]' && break
done
[ -z "$(windows '^Open HEX or BIN file$')" ] || fail "the file dialog did not take the typed path"
fill=$(wait_window '^Unused bytes$') && [ -n "$fill" ] || fail "the Unused bytes dialog did not appear"
click_dlu "$fill" 40 72 81 86
wait_for 10 eval '[ -n "$(windows "blink.hex$")" ]' || fail "the title does not name the typed file"
toolbar $burn_x
wait_for 30 text_colour "rgb(0,255,0)" || fail "no green text after the burn"
cp "$work/dialog.png" "$shots/burn-success.png"
! grep VIOLATION "$work/sim.log" >&2 || fail "the simulator saw protocol violations"
click_dlu "$(burn_dialog)" 185 47 206 61
wait_for 5 no_burn_dialog || fail "Close did not hide the burn dialog"
wait_for 5 burn_button_enabled || fail "Close did not enable the Burn button"

step "Setting > IC > RM5168, Alt+F4"
# A click on the face makes the main window the active one, which the keys then reach.
geometry "$main"
click_at $((X + 100)) $((Y + HEIGHT - 60))
xdotool key --clearmodifiers --delay 100 alt+s i 8
wait_for 20 face_is yellow || fail "the menu did not switch the face to the RM5168's"
shoot root "$shots/main-rm5168.png"
xdotool key alt+F4
timeout 15 tail --pid="$gui" -f /dev/null || fail "Alt+F4 did not end the program"
wait "$gui"
gui_rc=$?
[ "$gui_rc" -eq 0 ] || fail "the program ended with $gui_rc after Alt+F4, not 0"

[ "${RM_UPDATE_DOCS:-0}" = 1 ] && cp "$shots"/{main-rm5164,main-rm5168,burn-success}.png "$root/docs/"
step "passed; screenshots in $shots"
