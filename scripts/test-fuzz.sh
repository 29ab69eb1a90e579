#!/usr/bin/env bash
# The libFuzzer target (clang, ASan + UBSan, built in build/fuzz):
#   corpus  replays every input of tests/fuzz/corpus once: what earlier fuzzing found to
#           reach new code, kept as a regression test;
#   fuzz    fuzzes for RM_FUZZ_SECONDS (default 20), from that corpus, the sample files under
#           examples/ and files made here by real tools (sdcc, objcopy, srec_cat) and by hand
#           for the readers' edge cases.
# Exits non-zero on a finding; the input that caused it is left in build/fuzz/findings/.
# To grow the corpus after a longer run (new inputs gather in build/fuzz/corpus):
#   build/fuzz/tests/fuzz/image_fuzz -merge=1 -use_counters=0 -max_len=8192 tests/fuzz/corpus build/fuzz/corpus
# RM_FUZZ_TREE=DIR uses an already configured fuzz tree instead of scripts/build.sh fuzz.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${RM_FUZZ_SECONDS:-20}
tree=${RM_FUZZ_TREE:-$root/build/fuzz}

if [ -z "${RM_FUZZ_TREE:-}" ]; then "$root/scripts/build.sh" fuzz || exit 1; fi
cmake --build "$tree" --target image_fuzz || exit 1
fuzzer=$tree/tests/fuzz/image_fuzz

seeds=$tree/seeds
corpus=$tree/corpus
findings=$tree/findings
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"
  else failed=$((failed + 1)); echo "FAIL $what"; fi
}
# The fuzzer's own limits, and a bound on the whole run that it cannot outlive.
limits=(-max_len=140000 -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$findings/")

replay() { timeout 300 "$fuzzer" "${limits[@]}" "$root"/tests/fuzz/corpus/* >"$work/replay.log" 2>&1 ||
  { tail -n 40 "$work/replay.log"; return 1; }; }
check "the $(find "$root/tests/fuzz/corpus" -type f | wc -l) inputs of tests/fuzz/corpus" replay

cp "$root"/examples/*.hex "$root"/examples/*.ihx "$root"/examples/*.bin "$seeds/"
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

# New inputs go to the first folder; the others are read only.
fuzz() { timeout $((seconds + 300)) "$fuzzer" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
  "$corpus" "$root/tests/fuzz/corpus" "$seeds"; }
check "$seconds s of fuzzing from the corpus and the seeds" fuzz

# The summary line in ctest's words, which scripts/test.sh counts.
echo "fuzz: $((100 * passed / (passed + failed)))% tests passed, $failed tests failed out of $((passed + failed))"
[ "$failed" -eq 0 ]
