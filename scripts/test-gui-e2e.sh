#!/usr/bin/env bash
# rm516x_isp.exe under Wine, driven as a user drives it with xdotool on a virtual display, for
# what nothing in-process shows: COM1 linked to rm516x-sim (RM5164); Open on the toolbar, the
# path typed into the real file dialog, Enter, OK for the fill, the title names the file;
# Burn: green text in the burn dialog's real pixels (the chip verified what was loaded);
# Close hides the dialog.
# Also checks that the committed pictures are the ones scripts/draw-resources.py draws.
# Screenshots go to build/gui-shots/: main-rm5164.png and burn-success.png (RM_UPDATE_DOCS=1
# copies them to docs/); failure-screen.png when a step fails.
# RM_MINGW_BUILD=DIR / RM_NATIVE_BUILD=DIR use already configured trees.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
wine_build mingw rm516x_isp || exit 1
wine_build native rm516x-sim || exit 1
shots=$root/build/gui-shots
mkdir -p "$shots"
rm -f "$shots/failure-screen.png"
# Keys and clicks go to a virtual display: the run's own, or one started here.
[ -n "${RM_XVFB_PID:-}" ] || unset DISPLAY
wine_session

# import asks for a click when its window has gone: never let it wait.
shoot() { timeout 10 import -window "$1" "$2" 2>/dev/null; }
fail() {
  echo "test-gui-e2e: FAILED: $*" >&2
  shoot root "$shots/failure-screen.png"
  [ -f "$work/sim.log" ] && tail -n 5 "$work/sim.log" >&2
  exit 1
}
# Polls a command every 0.1 s for up to SECONDS.
wait_for() {  # seconds, command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
no_window() { [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ]; }
wait_window() { timeout 30 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# Window geometry into X, Y, WIDTH, HEIGHT.
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }
click_at() { xdotool mousemove --sync "$1" "$2" click 1; }
# Toolbar buttons, by their centres from the main window's corner.
toolbar() { geometry "$main"; click_at $((X + $1)) $((Y + 38)); }
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
# The burn dialog shows green text (40 pixels or more); leaves its picture in $work/dialog.png.
green_text() {
  local dialog
  dialog=$(burn_dialog) && shoot "$dialog" "$work/dialog.png" && [ "$(convert "$work/dialog.png" -fill black \
    +opaque "rgb(0,255,0)" -fill white -opaque "rgb(0,255,0)" -format '%[fx:round(mean*w*h)]' info:)" -ge 40 ]
}

python3 scripts/draw-resources.py --check || fail "the committed pictures differ from what scripts/draw-resources.py draws"

wine_com_child 1 "$work/sim.out" "$native/sim/rm516x-sim" --chip RM5164 --log "$work/sim.log" --idle-ms 1500 ||
  fail "the simulator did not start"
# The profile section the program starts from (the prefix's win.ini), as its last section.
ini=$WINEPREFIX/drive_c/windows/win.ini
[ -f "$ini" ] && sed -i '/^\[RM516X_ISP\]/,/^\[/{/^\[RM516X_ISP\]/d;/^\[/!d}' "$ini"
printf '[RM516X_ISP]\r\nChipID=0\r\nVerify=1\r\nBaudRate=7\r\nComPort=0\r\nUnusedBytes=255\r\n' >>"$ini"
wine "$mingw/app/rm516x_isp.exe" >"$work/gui.log" 2>&1 &
rm_children+=("$!")
main=$(wait_window '^RM516X ISP utility$') && [ -n "$main" ] || fail "the main window did not appear"

toolbar 15
geometry "$(wait_window '^Open HEX or BIN file$')" 2>/dev/null || fail "the file dialog did not appear"
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT - 20))
blink=$root/examples/blink.hex
xdotool type --delay 10 "Z:${blink//\//\\}"
# The field may be showing its completion list, which takes the first Enter.
for _ in 1 2 3; do
  xdotool key Return
  wait_for 2 no_window '^Open HEX or BIN file$' && break
done
no_window '^Open HEX or BIN file$' || fail "the file dialog did not take the typed path"
fill=$(wait_window '^Unused bytes$') && [ -n "$fill" ] || fail "the Unused bytes dialog did not appear"
# Controls by their centres in dialog units: the template's size (81 x 86 here) scales them.
geometry "$fill"
click_at $((X + 40 * WIDTH / 81)) $((Y + 72 * HEIGHT / 86))
wait_for 10 eval '! no_window "blink.hex$"' || fail "the title does not name the typed file"
shoot root "$shots/main-rm5164.png"
toolbar 54
wait_for 30 green_text || fail "no green text after the burn"
cp "$work/dialog.png" "$shots/burn-success.png"
geometry "$(burn_dialog)"
click_at $((X + 185 * WIDTH / 206)) $((Y + 47 * HEIGHT / 61))
wait_for 5 eval '! burn_dialog >/dev/null' || fail "Close did not hide the burn dialog"

[ "${RM_UPDATE_DOCS:-0}" = 1 ] && cp "$shots"/{main-rm5164,burn-success}.png "$root/docs/"
echo "test-gui-e2e: passed; screenshots in $shots"
