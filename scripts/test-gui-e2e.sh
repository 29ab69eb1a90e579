#!/usr/bin/env bash
# rm516x_isp.exe driven as a user drives it: clicks and keys on the virtual display (xdotool),
# COM1 linked to rm516x-sim's pseudo-terminal. Each scenario starts the simulator and the
# program afresh:
#   1. RM5164: open a HEX file through the file dialog (path typed, Enter), Burn: green text,
#      the flash holds the image; then Verify cleared, Close, Burn: page sums, green again
#   2. a chip that never answers: red "Please enter ISP"; Close hides the dialog
#   3. a chip that echoes a page wrongly: red text, the Burn button enabled again
#   4. a paced chip at 9600 bit/s: Stop while programming; the Burn button enabled again
#   5. RM5168: two files through the Select File dialog, one per bank, burned and compared
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
trap 'wine_env_stop' EXIT
wine_env_start

shots=$root/build/gui-e2e
mkdir -p "$shots"
rm -f "$shots/failure-screen.png"
work=$(mktemp -d)
sim=
gui=
started=$SECONDS

cleanup() {
  [ -n "$gui" ] && kill "$gui" 2>/dev/null
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  wine_absent_com 1
  rm -rf "$work"
  wine_env_stop
}
trap cleanup EXIT

fail() {
  echo "test-gui-e2e: FAILED: $*" >&2
  shoot root "$shots/failure-screen.png"
  [ -f "$work/sim.log" ] && tail -n 5 "$work/sim.log" >&2
  exit 1
}
step() { echo "[$((SECONDS - started))s] $*"; }

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# The profile section the program starts from (the prefix's win.ini).
set_profile() {
  python3 - "$WINEPREFIX/drive_c/windows/win.ini" "$@" <<'EOF'
import sys, re, os
path, keys = sys.argv[1], sys.argv[2:]
text = open(path, encoding="latin-1").read() if os.path.exists(path) else ""
text = re.sub(r"\[RM516X_ISP\][^\[]*", "", text)
text = text.rstrip("\r\n") + "\r\n[RM516X_ISP]\r\n" + "".join(k + "\r\n" for k in keys)
open(path, "w", encoding="latin-1", newline="").write(text)
EOF
}

start_sim() {  # simulator options...
  "$native/sim/rm516x-sim" --flash-out "$work/flash.bin" --log "$work/sim.log" --idle-ms 1500 \
    "$@" >"$work/sim.out" 2>&1 &
  sim=$!
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  local device
  device=$(head -n 1 "$work/sim.out")
  case $device in
    /dev/*) wine_link_com 1 "$device" ;;
    *) fail "the simulator did not start: $device" ;;
  esac
}

stop_sim() {
  kill "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
  sim=
  if grep -q VIOLATION "$work/sim.log"; then grep VIOLATION "$work/sim.log" >&2; fail "the simulator saw protocol violations"; fi
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
toolbar() {  # open|burn
  geometry "$main"
  case $1 in
    open) click_at $((X + 15)) $((Y + 38)) ;;
    burn) click_at $((X + 54)) $((Y + 38)) ;;
  esac
}

# The burn button's red dot is drawn only while the button is enabled.
burn_button_enabled() {
  geometry "$main"
  timeout 10 import -window root -crop "1x1+$((X + 54))+$((Y + 38))" -depth 8 txt:- 2>/dev/null |
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

pixels() {  # image, r, g, b -> how many pixels have exactly that colour
  convert "$1" -fill black +opaque "rgb($2,$3,$4)" -fill white -opaque "rgb($2,$3,$4)" \
    -format '%[fx:round(mean*w*h)]' info:
}

# Waits until the burn dialog shows text in a colour; leaves its picture in $work/dialog.png.
wait_text_colour() {  # r, g, b, seconds
  local deadline=$((SECONDS + $4)) dialog
  while [ $SECONDS -lt $deadline ]; do
    if dialog=$(burn_dialog) && shoot "$dialog" "$work/dialog.png" &&
      [ "$(pixels "$work/dialog.png" "$1" "$2" "$3")" -ge 40 ]; then
      return 0
    fi
    sleep 0.2
  done
  return 1
}

dialog_gone() {
  local deadline=$((SECONDS + 5))
  while [ $SECONDS -lt $deadline ]; do burn_dialog >/dev/null || return 0; sleep 0.1; done
  return 1
}

start_gui() {
  wine "$mingw/app/rm516x_isp.exe" >"$work/gui.log" 2>&1 &
  gui=$!
  main=$(wait_window '^RM516X ISP utility') || true
  [ -n "$main" ] || fail "the main window did not appear"
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
  local dialog
  dialog=$(wait_window '^Open HEX or BIN file$') || true
  [ -n "$dialog" ] || fail "the file dialog did not appear"
  geometry "$dialog"
  xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT - 20))
  xdotool type --delay 10 "$(winpath "$1")"
  # The field may be showing its completion list, which takes the first Enter.
  local attempt
  for attempt in 1 2 3; do
    xdotool key Return
    for _ in $(seq 20); do
      xdotool search --onlyvisible --name '^Open HEX or BIN file$' >/dev/null 2>&1 || return 0
      sleep 0.1
    done
  done
  fail "the file dialog did not take the typed path"
}

confirm_fill() {
  local dialog
  dialog=$(wait_window '^Unused bytes$') || true
  [ -n "$dialog" ] || fail "the Unused bytes dialog did not appear"
  click_dlu "$dialog" 40 72 81 86
}

# Expected flash from the command line's loader, compared over the burned ranges.
expect_flash() {  # chip, files...
  local chip=$1
  shift
  XDG_CONFIG_HOME=$work/cfg "$native/cli/rm516x-isp" info --chip "$chip" --fill 0xFF --json \
    --image-out "$work/expected.bin" "$@" >"$work/info.json" || fail "rm516x-isp info failed"
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ]; do
    python3 - "$work/info.json" "$work/expected.bin" "$work/flash.bin" <<'EOF' && return 0
import json, sys
info = json.load(open(sys.argv[1]))
expected, flash = open(sys.argv[2], "rb").read(), open(sys.argv[3], "rb").read()
ranges = [(0, info["bank0_size"]), (0x10000, info["bank1_size"])]
sys.exit(0 if all(flash[a:a + n] == expected[a:a + n] for a, n in ranges if n) else 1)
EOF
    sleep 0.2
  done
  fail "the simulator's flash differs from the image over the burned ranges"
}

blink=$root/examples/blink.hex
echo_hex=$root/examples/echo.hex

# 1. RM5164: read back, then page sums.
step "RM5164: open through the file dialog and burn with read-back"
start_sim --chip RM5164 --sessions 2
set_profile ChipID=0 Verify=1 BaudRate=7 ComPort=0 UnusedBytes=255
start_gui
toolbar open
type_into_file_dialog "$blink"
confirm_fill
toolbar burn
wait_text_colour 0 255 0 30 || fail "no green text after the burn"
cp "$work/dialog.png" "$shots/burn-success.png"
expect_flash RM5164 "$blink"
grep -qE '^RX verify ([0-9a-e][0-9a-f]|f[0-9a-e])$' "$work/sim.log" || fail "no read-back in the verify phase"
step "RM5164: Verify cleared, Close, burn again with page sums"
dialog=$(burn_dialog)
click_dlu "$dialog" 173 10 206 61
click_dlu "$dialog" 185 47 206 61
dialog_gone || fail "Close did not hide the burn dialog"
burn_button_enabled || fail "Close did not enable the Burn button"
toolbar burn
sleep 0.5  # the previous green text is still up until the worker starts
wait_text_colour 0 255 0 30 || fail "no green text after the page-sum burn"
cp "$work/dialog.png" "$shots/burn-checksum.png"
grep -q '^NOTE session 2' "$work/sim.log" || fail "the second burn never reached the chip"
sed -n '/^NOTE session 2/,$p' "$work/sim.log" | grep -qE '^RX checksum ([0-9a-e][0-9a-f]|f[0-9a-e])$' \
  || fail "the second burn did not ask for page sums"
stop_gui
stop_sim

# 2. No answer: the waiting text, then Close.
step "a chip that never answers: waiting, then Close"
start_sim --chip RM5164 --fault silent=handshake
set_profile ChipID=0 Verify=1 BaudRate=7 ComPort=0 UnusedBytes=255 "OpenFileName1=$(winpath "$blink")"
start_gui
toolbar burn  # nothing loaded: the Open command comes first
type_into_file_dialog "$blink"
confirm_fill
wait_text_colour 255 0 0 15 || fail "no red waiting text"
cp "$work/dialog.png" "$shots/burn-waiting.png"
burn_button_enabled && fail "the Burn button is enabled while waiting"
click_dlu "$(burn_dialog)" 185 47 206 61
dialog_gone || fail "Close did not hide the burn dialog"
burn_button_enabled || fail "the Burn button stayed disabled after Close"
stop_gui
stop_sim

# 3. A wrong page echo: red text, Burn enabled again.
step "a chip that echoes a page wrongly"
start_sim --chip RM5164 --fault bad-page-echo=0
set_profile ChipID=0 Verify=1 BaudRate=7 ComPort=0 UnusedBytes=255
start_gui
toolbar open
type_into_file_dialog "$blink"
confirm_fill
toolbar burn
wait_text_colour 255 0 0 30 || fail "no red text"
# The red waiting text comes first; the failure is the red text with Burn enabled again.
deadline=$((SECONDS + 20))
until burn_button_enabled; do [ $SECONDS -lt $deadline ] || fail "the Burn button stayed disabled after the failure"; sleep 0.2; done
wait_text_colour 255 0 0 5 || fail "the failure text is not red"
cp "$work/dialog.png" "$shots/burn-failure.png"
stop_gui
stop_sim

# 4. Stop while programming at 9600 bit/s.
step "a paced chip: Stop while programming"
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 37 + (i >> 8)) & 0x7F for i in range(8192)))' >"$work/big.bin"
start_sim --chip RM5164 --pace
set_profile ChipID=0 Verify=1 BaudRate=1 ComPort=0 UnusedBytes=255
start_gui
toolbar open
type_into_file_dialog "$work/big.bin"
confirm_fill
toolbar burn
wait_text_colour 0 0 255 30 || fail "no blue text while burning"
deadline=$((SECONDS + 20))
until grep -q '^RX program' "$work/sim.log"; do [ $SECONDS -lt $deadline ] || fail "programming never began"; sleep 0.1; done
sleep 0.5
shoot "$(burn_dialog)" "$shots/burn-programming.png"
[ "$(pixels "$shots/burn-programming.png" 0 0 255)" -ge 40 ] || fail "the programming text is not blue"
click_dlu "$(burn_dialog)" 185 47 206 61
dialog_gone || fail "Stop did not hide the burn dialog"
burn_button_enabled || fail "Stop did not enable the Burn button"
# The worker ends after the page in progress; closing the program before would cut it short.
deadline=$((SECONDS + 15))
until grep -q '^NOTE session .*abandoned' "$work/sim.log"; do
  [ $SECONDS -lt $deadline ] || fail "the chip never saw the burn stop"
  sleep 0.1
done
stop_gui
stop_sim
pages=$(grep -c '^RX program ' "$work/sim.log")
[ "$pages" -lt 32 ] || fail "all 32 pages were programmed despite Stop"
step "stopped after $pages of 32 pages"

# 5. RM5168: two files, one per bank, through the Select File dialog.
step "RM5168: two files through the Select File dialog"
start_sim --chip RM5168
set_profile ChipID=1 Verify=1 BaudRate=7 ComPort=0 UnusedBytes=255
start_gui
toolbar open
select=$(wait_window '^Select File$') || true
[ -n "$select" ] || fail "the Select File dialog did not appear"
click_dlu "$select" 27 17 209 86
type_into_file_dialog "$blink"
sleep 0.3
click_dlu "$select" 27 37 209 86
type_into_file_dialog "$echo_hex"
sleep 0.3
click_dlu "$select" 107 67 209 86
confirm_fill
toolbar burn
wait_text_colour 0 255 0 30 || fail "no green text after the RM5168 burn"
expect_flash RM5168 "$blink" "$echo_hex"
stop_gui
stop_sim

step "all scenarios passed; screenshots in $shots"
