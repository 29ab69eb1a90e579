#!/usr/bin/env bash
# Regenerates the sample firmware files in this folder from their C sources:
#   blink.ihx  sdcc's own Intel HEX output (records in link order)
#   blink.hex  the same, repacked into records of at most 16 bytes by packihx
#   blink.bin  the same as a raw binary image from address 0 (objcopy)
#   echo.hex   the second program, for the RM5168's bank 1 (rm516x-isp info --chip RM5168 blink.hex echo.hex)
# Needs sdcc (with packihx) and binutils. The output depends only on the tool versions.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in sdcc packihx objcopy; do
  command -v "$tool" >/dev/null || { echo "make-examples: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
echo "make-examples: $(sdcc --version | head -n 1)"

for program in blink echo; do
  cp "$here/$program.c" "$work/"
  (cd "$work" && sdcc -mmcs51 "$program.c" >/dev/null)
  packihx "$work/$program.ihx" >"$work/$program.hex" 2>/dev/null
done

cp "$work/blink.ihx" "$here/blink.ihx"
cp "$work/blink.hex" "$here/blink.hex"
objcopy -I ihex -O binary "$work/blink.ihx" "$here/blink.bin"
cp "$work/echo.hex" "$here/echo.hex"
ls -l "$here"/blink.ihx "$here"/blink.hex "$here"/blink.bin "$here"/echo.hex
