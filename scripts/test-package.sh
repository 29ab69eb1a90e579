#!/usr/bin/env bash
# The release packages as a user gets them (scripts/package.sh builds both):
#   .deb  lintian finds no error or warning; installed with dpkg -i into a scratch root
#         (never on this machine), its rm516x-isp reports the version and loads the
#         installed example, burns it into the installed rm516x-sim, its man pages render
#         without a warning, and its bash completion completes commands and option values;
#   .zip  unpacked: README.txt has CRLF line ends, both .exe files carry the version, and
#         under Wine rm516x-isp.exe reports it and loads the packaged example while
#         rm516x_isp.exe opens its main window.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
scripts/package.sh >/dev/null || exit 1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
deb=dist/rm516x-isp_${version}_amd64.deb
zip=dist/rm516x-isp-$version-win64.zip

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-gui}
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
carries_version() { strings -el "$1" | grep -qxF "$version"; }

# --- the Debian package
check "the .deb is Section electronics" test "$(dpkg-deb -f "$deb" Section)" = electronics
check "its dependencies come from dpkg-shlibdeps" grep -q 'libc6 (>=' <<<"$(dpkg-deb -f "$deb" Depends)"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1
lintian_rc=$?
grep -E '^[EW]:' "$work/lintian.log"
check "lintian finds no error and no warning" test "$lintian_rc" -eq 0
dest=$work/root
mkdir -p "$dest/var/lib/dpkg/info" "$dest/var/lib/dpkg/updates"
touch "$dest/var/lib/dpkg/status"
# The scratch root has no libc6 of its own: the machine's serves.
install_deb() { dpkg --root="$dest" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1; }
check "dpkg -i installs it into a scratch root" install_deb
bin=$dest/usr/bin
doc=$dest/usr/share/doc/rm516x-isp
export XDG_CONFIG_HOME=$work/config
"$bin/rm516x-isp" --version >"$work/version.out" 2>&1
check "the installed rm516x-isp --version says rm516x-isp $version" test "$(cat "$work/version.out")" = "rm516x-isp $version"
"$bin/rm516x-sim" --version >"$work/sim-version.out" 2>&1
check "the installed rm516x-sim --version says rm516x-sim $version" test "$(cat "$work/sim-version.out")" = "rm516x-sim $version"
"$bin/rm516x-isp" info --chip RM5164 --fill 0xFF --image-out "$work/image.bin" \
  "$doc/examples/blink.hex" >"$work/info.out" 2>&1
check "info on the installed example gives its checksum" has "$work/info.out" "CheckSum = B211"

"$bin/rm516x-sim" --chip RM5164 --flash-out "$work/flash.bin" --idle-ms 5000 >"$work/sim.out" 2>&1 &
sim=$!
wait_for test -s "$work/sim.out"
"$bin/rm516x-isp" burn --chip RM5164 --fill 0xFF --port "$(head -n 1 "$work/sim.out")" \
  --baud 115200 --verify --wait 30 "$doc/examples/blink.hex" >"$work/burn.out" 2>&1
check "the installed rm516x-isp burns the example into the installed rm516x-sim" has "$work/burn.out" "Verify OK"
# The simulator writes its flash when its one session ends.
timeout 10 tail --pid="$sim" -f /dev/null && wait "$sim" && sim=
check "the simulated flash holds the example" cmp -s -n 256 "$work/flash.bin" "$work/image.bin"

for page in rm516x-isp rm516x-sim; do
  file=$dest/usr/share/man/man1/$page.1.gz
  MANWIDTH=80 man -l "$file" >"$work/$page.man" 2>"$work/$page.man-err"
  check "man -l $page.1.gz renders its options and exit status without a message" \
    rendered "$work/$page.man" "$work/$page.man-err"
  zcat "$file" | groff -ww -z -man >"$work/$page.groff" 2>&1
  check "groff -ww finds nothing to warn about in $page.1" test ! -s "$work/$page.groff"
done
check "rm516x-isp.1 holds each command's options" has "$work/rm516x-isp.man" "--reset-command"

# TAB after the words given: what the installed completion offers, in a clean shell.
complete_words() {
  PATH=$bin:$PATH bash --norc --noprofile -c '
    . "$1/$2"  # the file bash-completion would load for the command
    shift
    registration=$(complete -p "$1") || exit 1
    function=$(sed -n "s/.*-F \([^ ]*\) .*/\1/p" <<<"$registration")
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    "$function" "$1" "${!#}" "${@: -2:1}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$dest/usr/share/bash-completion/completions" "$@" | sort | tr '\n' ' '
}
check "rm516x-isp b<TAB> offers burn" test "$(complete_words rm516x-isp b)" = "burn "
check "rm516x-isp burn --chip <TAB> offers the chips" test "$(complete_words rm516x-isp burn --chip '')" = "RM5164 RM5168 "
check "rm516x-isp read --b<TAB> offers --bank and --baud" test "$(complete_words rm516x-isp read --ba)" = "--bank --baud "
check "rm516x-sim --fl<TAB> offers its flash options" test "$(complete_words rm516x-sim --fl)" = "--flash-in --flash-out "

# --- the Windows zip
unzip -q "$zip" -d "$work/zip"
top=$work/zip/rm516x-isp-$version-win64
for file in rm516x_isp.exe rm516x-isp.exe README.txt LICENSE.txt examples/blink.hex; do
  check "the zip holds $file" test -f "$top/$file"
done
check "README.txt ends every line with CRLF" \
  test "$(grep -c $'\r$' "$top/README.txt")" = "$(wc -l <"$top/README.txt")"
for exe in rm516x_isp.exe rm516x-isp.exe; do
  check "$exe carries version $version in its version resource" \
    carries_version "$top/$exe"
done

wine_env_start
# Into files, not pipes: the Wine services the first call starts keep its output open. A Wine
# that hangs fails the check instead of the whole run.
timeout 120 wine "$top/rm516x-isp.exe" --version >"$work/exe-version.out" 2>&1
sed -i 's/\r$//' "$work/exe-version.out"
check "rm516x-isp.exe --version under Wine says rm516x-isp $version" test "$(cat "$work/exe-version.out")" = "rm516x-isp $version"
timeout 120 wine "$top/rm516x-isp.exe" info --chip RM5164 --fill 0xFF 'Z:'"$top/examples/blink.hex" \
  >"$work/exe-info.out" 2>&1
check "rm516x-isp.exe info on the packaged example gives its checksum" has "$work/exe-info.out" "CheckSum = B211"

windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
# A fresh start: no stored settings, and a COM1 that cannot open, whose box comes first.
ini=$WINEPREFIX/drive_c/windows/win.ini
[ -f "$ini" ] && sed -i '/^\[RM516X_ISP\]/,/^\[/{/^\[RM516X_ISP\]/d;/^\[/!d}' "$ini"
wine_absent_com 1
wine "$top/rm516x_isp.exe" >"$work/gui.log" 2>&1 &
gui=$!
wait_for windows '^Error$' >/dev/null &&
  xdotool windowfocus --sync "$(windows '^Error$' | tail -n 1)" key Return 2>/dev/null
wait_for windows '^RM516X ISP utility$' >/dev/null
main=$(windows '^RM516X ISP utility$' | head -n 1)
check "rm516x_isp.exe from the zip opens its main window" test -n "$main"
[ -n "$main" ] && xdotool windowfocus --sync "$main" key --clearmodifiers alt+F4 2>/dev/null
timeout 10 tail --pid="$gui" -f /dev/null || kill "$gui" 2>/dev/null

stat -c '%n: %s bytes' "$deb" "$zip"
# The summary line in ctest's words, which scripts/test.sh counts.
echo "package: $((100 * passed / (passed + failed)))% tests passed, $failed tests failed out of $((passed + failed))"
[ "$failed" -eq 0 ]
