#!/usr/bin/env bash
# Burns without hardware: starts rm516x-sim on a pseudo-terminal, links the Wine prefix's COM1
# to it and runs rm516x_isp.exe until its window is closed; then stops the simulator.
#   scripts/gui-burn-demo.sh [--chip RM5164|RM5168] [--pace] [--fault FAULT]...
# The window opens on $DISPLAY, or on the virtual display $RM_XVFB_DISPLAY (default :93)
# when DISPLAY is unset. The simulator plays any number of burns; its log and the flash it
# holds are left in build/gui-demo/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
chip=RM5164
sim_options=()
while (($#)); do
  case $1 in
    --chip) chip=$2; shift 2 ;;
    --pace) sim_options+=(--pace); shift ;;
    --fault) sim_options+=(--fault "$2"); shift 2 ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "gui-burn-demo: unknown option $1" >&2; exit 2 ;;
  esac
done
case $chip in
  RM5164) chip_id=0 ;;
  RM5168) chip_id=1 ;;
  *) echo "gui-burn-demo: --chip takes RM5164 or RM5168" >&2; exit 2 ;;
esac

mingw=${RM_MINGW_BUILD:-$root/build/mingw}
native=${RM_NATIVE_BUILD:-$root/build/native}
[ -f "$mingw/build.ninja" ] || scripts/build.sh mingw >/dev/null || exit 1
[ -f "$native/build.ninja" ] || scripts/build.sh native >/dev/null || exit 1
cmake --build "$mingw" --target rm516x_isp >/dev/null || exit 1
cmake --build "$native" --target rm516x-sim >/dev/null || exit 1
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
wine_env_start

out=$root/build/gui-demo
mkdir -p "$out"
"$native/sim/rm516x-sim" --chip "$chip" --sessions 0 --flash-out "$out/flash.bin" \
  --log "$out/sim.log" "${sim_options[@]}" >"$out/sim.out" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s "$out/sim.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$out/sim.out")
case $device in
  /dev/*) ;;
  *) echo "gui-burn-demo: the simulator did not start: $device" >&2; exit 1 ;;
esac
wine_link_com 1 "$device"
# The program opens the port of its profile: COM1, and the chosen chip.
python3 - "$WINEPREFIX/drive_c/windows/win.ini" "$chip_id" <<'EOF'
import os, re, sys
path, chip_id = sys.argv[1], sys.argv[2]
text = open(path, encoding="latin-1").read() if os.path.exists(path) else ""
section = re.search(r"\[RM516X_ISP\][^\[]*", text)
keys = dict(re.findall(r"^(\w+)=(.*?)\r?$", section.group(0), re.M)) if section else {}
keys.update(ComPort="0", ChipID=chip_id)
text = re.sub(r"\[RM516X_ISP\][^\[]*", "", text).rstrip("\r\n")
text += "\r\n[RM516X_ISP]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
open(path, "w", encoding="latin-1", newline="").write(text)
EOF

examples=$(echo "Z:$root/examples" | tr / '\\')
if [ "$chip" = RM5164 ]; then
  steps="Open (first toolbar button), type $examples\\blink.hex as the file name, Enter"
else
  steps="Open (first toolbar button); \"File 1\", type $examples\\blink.hex, Enter;
  \"File 2\", type $examples\\echo.hex, Enter; then \"Open File 1 & 2\""
fi
cat <<EOF
COM1 -> $device (rm516x-sim, $chip${sim_options[*]:+, ${sim_options[*]}})
Display $DISPLAY. In the window:
  $steps;
  OK in "Unused bytes", then Burn (the red button): the burn dialog ends in green "Verify OK".
Close the window to stop. Simulator log and flash: $out/
EOF
wine "$mingw/app/rm516x_isp.exe" >"$out/wine.log" 2>&1
echo "gui-burn-demo: the program ended; $(grep -c '^NOTE session .* ended' "$out/sim.log") burn(s) completed"

