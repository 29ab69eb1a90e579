#!/usr/bin/env bash
# Load speed of a full 128 KiB image as Intel HEX (about 360 KB of text): whole-process time of
#   rm516x-isp info --chip RM5168 --image-out OUT FILE
#   srec_cat FILE -intel -o OUT -binary
#   objcopy -I ihex -O binary FILE OUT
# Prints each median (hyperfine, warm cache) and the ratio of ours to the fastest of the
# others, once all three have made the same 128 KiB. Target: a ratio of at most 1.00.
# Usage: bench/load_bench.sh [RUNS] (default 40).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-40}
isp=${RM_ISP:-$root/build/native/cli/rm516x-isp}
if [ ! -x "$isp" ]; then
  "$root/scripts/build.sh" native >/dev/null
fi
for tool in hyperfine srec_cat objcopy python3; do
  command -v "$tool" >/dev/null || { echo "load_bench: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # an empty profile: the bench must not read or make yours
head -c 131072 /dev/urandom >"$work/image.bin"
# 16-byte records with the usual extended-address records, as objcopy writes them.
objcopy -I binary -O ihex "$work/image.bin" "$work/image.hex"
echo "input: $(wc -c <"$work/image.hex") bytes of Intel HEX, $(wc -l <"$work/image.hex") records"

hyperfine -N --warmup 5 --runs "$runs" --style none --export-json "$work/times.json" \
  -n rm516x-isp "$isp info --chip RM5168 --image-out $work/ours.bin $work/image.hex" \
  -n srec_cat "srec_cat $work/image.hex -intel -o $work/srec.bin -binary" \
  -n objcopy "objcopy -I ihex -O binary $work/image.hex $work/objcopy.bin" >/dev/null

# A fast wrong load is no result.
for out in ours srec objcopy; do
  cmp -s "$work/image.bin" "$work/$out.bin" || { echo "load_bench: $out.bin differs from the image" >&2; exit 1; }
done

python3 - "$work/times.json" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
for name, median in results.items():
    print(f"{name:<11} median {median * 1000:8.2f} ms")
ours = results.pop("rm516x-isp")
fastest = min(results, key=results.get)
print(f"ratio rm516x-isp / {fastest} = {ours / results[fastest]:.2f}")
PY
