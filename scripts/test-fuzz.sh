#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build/fuzz and runs each for
# RM_FUZZ_SECONDS (default 60), seeded with the sample files under examples/ and with files
# made here by real tools (sdcc, objcopy, srec_cat) and by hand for the readers' edge cases.
# Exits non-zero on a finding; the input that caused it is left in build/fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${RM_FUZZ_SECONDS:-60}
tree=${RM_FUZZ_TREE:-$root/build/fuzz}

if [ ! -f "$tree/build.ninja" ]; then
  cmake -S "$root" -B "$tree" -G Ninja -DRM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRM_FUZZ=ON -DRM_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$tree" --target image_fuzz -j 2

seeds=$tree/seeds
corpus=$tree/corpus
findings=$tree/findings
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$findings"

cp "$root"/examples/*.hex "$root"/examples/*.ihx "$root"/examples/*.bin "$seeds/"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Blobs at and around the limits, converted by both tools in their usual forms.
for size in 1 300 65024 65536; do
  head -c "$size" /dev/urandom >"$work/blob$size.bin"
  objcopy -I binary -O ihex "$work/blob$size.bin" "$seeds/objcopy$size.hex"
  srec_cat "$work/blob$size.bin" -binary -o "$seeds/srec$size.hex" -intel
  srec_cat "$work/blob$size.bin" -binary -o "$seeds/srec255_$size.hex" -intel -obs=255 -line-termination=crlf
done
cp "$work/blob1.bin" "$work/blob300.bin" "$seeds/"
# Past the bank's end: objcopy's segment records, srec_cat's linear ones.
head -c 70000 /dev/urandom >"$work/big.bin"
objcopy -I binary -O ihex "$work/big.bin" "$seeds/objcopy-big.hex"
srec_cat "$work/big.bin" -binary -o "$seeds/srec-big.hex" -intel
srec_cat "$work/big.bin" -binary -o "$seeds/srec-big-segment.hex" -intel --address-length=3
(cd "$work" && cp "$root/examples/echo.c" . && sdcc -mmcs51 echo.c >/dev/null && cp echo.ihx "$seeds/sdcc-echo.ihx")

# Hand-made edge cases.
printf ':00000001FF\n' >"$seeds/only-end.hex"
printf ':10FFF800000102030405060708090A0B0C0D0E0F00\n:00000001FF\n' >"$seeds/past-bank.hex"
printf ':020000040000FA\n:0400000012345678E8\n:00000001FF\n' >"$seeds/linear.hex"
printf ':04023400deadbeef00\r\n\r\njunk :00023400CA\n:00000001ff\n' >"$seeds/lower-crlf.hex"
printf ':0400000012345678E8\n' >"$seeds/no-end.hex"
printf ':0400000012345678E8\n\0:00000001FF\n' >"$seeds/zero-byte.hex"
printf ':0400000012' >"$seeds/cut-short.hex"
printf ':0100000011EE\n:020000040001F9\n:0100000022DD\n:00000001FF\n' >"$seeds/two-bases.hex"
printf ':020000040002F8\n:0100000011EE\n:00000001FF\n' >"$seeds/past-chip.hex"

"$tree/tests/fuzz/image_fuzz" -max_total_time="$seconds" -max_len=140000 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds"
