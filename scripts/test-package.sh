#!/usr/bin/env bash
# The release packages as a user gets them (scripts/package.sh builds both):
#   .deb  its Depends come from dpkg-shlibdeps; installed with dpkg -i into a scratch root
#         (never on this machine), its rm516x-isp burns the installed example into the
#         installed rm516x-sim, its man pages render without a message, and its bash
#         completion completes option values;
#   .zip  unpacked: it holds the programs, texts and example, and under Wine rm516x-isp.exe
#         loads the packaged example.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
scripts/package.sh >/dev/null || exit 1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
deb=dist/rm516x-isp_${version}_amd64.deb
zip=dist/rm516x-isp-$version-win64.zip

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$work"
  wine_env_stop
}
trap cleanup EXIT

passed=0 failed=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"
  else failed=$((failed + 1)); echo "FAIL $what"; fi
}
# Polls a command every 0.1 s for up to 20 s.
wait_for() { for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done; return 1; }
has() { grep -qF -- "$2" "$1"; }
# A page that man rendered (text, its messages): its options, its exit status, no message.
rendered() { has "$1" --chip && has "$1" "EXIT STATUS" && ! test -s "$2"; }

# --- the Debian package
check "its dependencies come from dpkg-shlibdeps" grep -q 'libc6 (>=' <<<"$(dpkg-deb -f "$deb" Depends)"
dest=$work/root
mkdir -p "$dest/var/lib/dpkg/info" "$dest/var/lib/dpkg/updates"
touch "$dest/var/lib/dpkg/status"
# The scratch root has no libc6 of its own: the machine's serves.
install_deb() { dpkg --root="$dest" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1; }
check "dpkg -i installs it into a scratch root" install_deb
bin=$dest/usr/bin
doc=$dest/usr/share/doc/rm516x-isp
export XDG_CONFIG_HOME=$work/config
"$bin/rm516x-sim" --chip RM5164 --idle-ms 5000 >"$work/sim.out" 2>&1 &
sim=$!
wait_for test -s "$work/sim.out"
timeout 120 "$bin/rm516x-isp" burn --chip RM5164 --fill 0xFF --port "$(head -n 1 "$work/sim.out")" \
  --baud 115200 --verify --wait 30 "$doc/examples/blink.hex" >"$work/burn.out" 2>&1
# Verify OK: the simulated flash read back equals the example.
check "the installed rm516x-isp burns the example into the installed rm516x-sim" has "$work/burn.out" "Verify OK"

for page in rm516x-isp rm516x-sim; do
  file=$dest/usr/share/man/man1/$page.1.gz
  MANWIDTH=80 man -l "$file" >"$work/$page.man" 2>"$work/$page.man-err"
  check "man -l $page.1.gz renders its options and exit status without a message" \
    rendered "$work/$page.man" "$work/$page.man-err"
done

# TAB after "rm516x-isp burn --chip ": what the installed completion offers, in a clean shell.
chips=$(PATH=$bin:$PATH bash --norc --noprofile -c '
  . "$1"  # the file bash-completion would load for the command
  function=$(complete -p rm516x-isp | sed -n "s/.*-F \([^ ]*\) .*/\1/p")
  COMP_WORDS=(rm516x-isp burn --chip "")
  COMP_CWORD=3
  "$function" rm516x-isp "" --chip
  printf "%s\n" "${COMPREPLY[@]}"' _ "$dest/usr/share/bash-completion/completions/rm516x-isp" | sort | tr '\n' ' ')
check "rm516x-isp burn --chip <TAB> offers the chips" test "$chips" = "RM5164 RM5168 "

# --- the Windows zip
unzip -q "$zip" -d "$work/zip"
top=$work/zip/rm516x-isp-$version-win64
for file in rm516x_isp.exe rm516x-isp.exe README.txt LICENSE.txt examples/blink.hex; do
  check "the zip holds $file" test -f "$top/$file"
done

wine_env_start
# Into a file, not a pipe: the Wine services the first call starts keep its output open. A
# Wine that hangs fails the check instead of the whole run.
timeout 120 wine "$top/rm516x-isp.exe" info --chip RM5164 --fill 0xFF 'Z:'"$top/examples/blink.hex" \
  >"$work/exe-info.out" 2>&1
check "rm516x-isp.exe info on the packaged example gives its checksum" has "$work/exe-info.out" "CheckSum = B211"

stat -c '%n: %s bytes' "$deb" "$zip"
# The summary line in ctest's words, which scripts/test.sh counts.
echo "package: $((100 * passed / (passed + failed)))% tests passed, $failed tests failed out of $((passed + failed))"
[ "$failed" -eq 0 ]
