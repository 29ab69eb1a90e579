# shellcheck shell=bash
# Sourced: the project's Wine prefix and virtual display.
#   wine_env_start       make the prefix on first use, start Xvfb and one wineserver
#   wine_env_stop        end what wine_env_start started in this shell, and only that: the
#                        prefix's wineserver (every Wine process of the prefix ends with it)
#                        and the Xvfb, by pid. Call it from the script's EXIT trap, which
#                        bash also runs after INT, TERM and HUP.
#   wine_display_start   only the Xvfb part of wine_env_start
#   wine_prefix_pids P   the Wine processes running in prefix P (found by WINEPREFIX=P in
#                        their environment, which every Wine process of the prefix inherits)
#   wine_end_prefix P    wineserver -k for prefix P; true once none of its processes remain
#   wine_check_ended XVFB_PID PREFIX...   true when that Xvfb and no process of those
#                        prefixes remain; names what remains
#   wine_build TREE TARGET...   TREE (mingw or native) built by scripts/build.sh, or the
#                        configured one RM_MINGW_BUILD / RM_NATIVE_BUILD names, then TARGETs
#                        built in it; its folder is left in $mingw or $native
#   wine_session         a scratch folder in $work and wine_env_start; on EXIT, every child
#                        wine_com_child started or the script added to rm_children ends,
#                        the COM ports it linked are unset, the folder goes, wine_env_stop
#   wine_run PROGRAM...  runs it under Wine, shows its output without Wine's own lines, and
#                        returns its exit code; ended after RM_WINE_RUN_TIMEOUT s (240,
#                        below ctest's 300)
# An Xvfb started here is exported as RM_XVFB_PID with DISPLAY, so that scripts run from
# this one use it instead of starting their own, and leave it to its owner.
export RM_XVFB_DISPLAY=${RM_XVFB_DISPLAY:-:93}

rm_owned_xvfb=
rm_owned_prefix=
rm_children=()
rm_linked_coms=()

wine_prefix_pids() {
  local environ pid
  for environ in $(grep -lzxF "WINEPREFIX=$1" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    # Scripts and tools started under the prefix's variables are not Wine.
    case $(readlink "/proc/$pid/exe" 2>/dev/null) in
      */wine*) echo "$pid" ;;
    esac
  done
}

# An Xvfb of our own, on RM_XVFB_DISPLAY when that is free, else on a display Xvfb picks:
# another run's Xvfb would end with that run.
rm_start_xvfb() {
  local n=${RM_XVFB_DISPLAY#:} pid numfile
  pid=$(tr -dc 0-9 2>/dev/null <"/tmp/.X$n-lock")
  if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
    # A display that died leaves its lock and socket behind; Xvfb would refuse to start.
    rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -dc 0-9 <"/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      rm_owned_xvfb=$pid
      export DISPLAY=:$n RM_XVFB_PID=$pid
      return 0
    fi
  fi
  numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do [ -s "$numfile" ] && break; sleep 0.1; done
  n=$(tr -dc 0-9 <"$numfile")
  rm -f "$numfile"
  [ -n "$n" ] || { echo "wine-env: Xvfb did not start" >&2; return 1; }
  rm_owned_xvfb=$pid
  export DISPLAY=:$n RM_XVFB_PID=$pid
}

wine_display_start() {
  if [ -n "${RM_XVFB_PID:-}" ] && [ -n "${DISPLAY:-}" ] && kill -0 "$RM_XVFB_PID" 2>/dev/null; then
    return 0  # the display of the run that started this script
  fi
  if [ -n "${DISPLAY:-}" ] && [ "$DISPLAY" != "$RM_XVFB_DISPLAY" ]; then
    return 0  # a display of the user's
  fi
  if [ "${DISPLAY:-}" = "$RM_XVFB_DISPLAY" ]; then
    # Named on purpose: use the server that runs there, if one does.
    local pid
    pid=$(tr -dc 0-9 <"/tmp/.X${DISPLAY#:}-lock" 2>/dev/null)
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && return 0
  fi
  rm_start_xvfb
}

wine_env_start() {
  export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
  wine_display_start
  # A prefix already running belongs to whoever started it.
  [ -z "$(wine_prefix_pids "$WINEPREFIX")" ] && rm_owned_prefix=$WINEPREFIX
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    timeout 300 wine wineboot -i >"$WINEPREFIX.boot.log" 2>&1
  fi
  wineserver -p >/dev/null 2>&1 </dev/null || true
  # Without a window manager, hiding a managed window waits 2 s for a withdrawal nobody
  # confirms; the GUI tests make and end many windows, so their windows are left unmanaged.
  local exe
  for exe in gui_test.exe gui_sim_test.exe; do
    grep -qF "AppDefaults\\\\$exe\\\\X11 Driver" "$WINEPREFIX/user.reg" 2>/dev/null ||
      timeout 60 wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 </dev/null
  done
}

wine_build() {
  local tree=$1 given
  shift
  given=RM_${tree^^}_BUILD
  if [ -z "${!given:-}" ]; then "$root/scripts/build.sh" "$tree" >/dev/null || return 1; fi
  printf -v "$tree" %s "${!given:-$root/build/$tree}"
  cmake --build "${!tree}" --target "$@" >/dev/null
}

wine_session() {
  work=$(mktemp -d)
  trap wine_session_end EXIT
  wine_env_start
}

wine_session_end() {
  local pid n
  for pid in "${rm_children[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for n in "${rm_linked_coms[@]}"; do wine_absent_com "$n"; done
  rm -rf "$work"
  wine_env_stop
}

# Wine's output goes to a file first: its background processes would hold a pipe open and
# the caller would never return.
wine_run() {
  local rc
  timeout "${RM_WINE_RUN_TIMEOUT:-240}" wine "$@" >"$work/wine-run.log" 2>&1
  rc=$?
  tr -d '\r' <"$work/wine-run.log" | grep -av '^fixme\|^err:\|^wine:'
  return $rc
}

wine_end_prefix() {
  local prefix=$1 left
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 </dev/null
  for _ in $(seq 100); do
    left=$(wine_prefix_pids "$prefix")
    [ -z "$left" ] && return 0
    sleep 0.1
  done
  # A process that outlived its server for 10 s would never end by itself.
  # shellcheck disable=SC2086
  kill -KILL $left 2>/dev/null
  sleep 0.5
  [ -z "$(wine_prefix_pids "$prefix")" ]
}

wine_env_stop() {
  if [ -n "$rm_owned_prefix" ]; then
    wine_end_prefix "$rm_owned_prefix"
    rm_owned_prefix=
  fi
  if [ -n "$rm_owned_xvfb" ]; then
    kill "$rm_owned_xvfb" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$rm_owned_xvfb" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$rm_owned_xvfb" 2>/dev/null
    [ "${RM_XVFB_PID:-}" = "$rm_owned_xvfb" ] && unset RM_XVFB_PID
    rm_owned_xvfb=
  fi
  return 0
}

wine_check_ended() {
  local xvfb=$1 prefix left ok=0
  shift
  if [ -n "$xvfb" ] && kill -0 "$xvfb" 2>/dev/null; then
    echo "still running: Xvfb (pid $xvfb)"
    ok=1
  fi
  for prefix in "$@"; do
    left=$(wine_prefix_pids "$prefix")
    if [ -n "$left" ]; then
      # shellcheck disable=SC2046
      echo "still running in $prefix:" $(ps -o pid=,comm= -p "$(tr '\n' ',' <<<"$left" | sed 's/,$//')")
      ok=1
    fi
  done
  [ "$ok" -eq 0 ] && echo "no Xvfb or Wine process of this run remains"
  return "$ok"
}

# COM ports of the prefix. The wineserver rebuilds dosdevices/comN from the registry when
# it starts, so a link is set in both places; keep the one server wine_env_start started.
#   wine_link_com N PATH   COMN opens PATH (a tty or a pseudo-terminal's slave)
#   wine_absent_com N      COMN fails to open (left unset, Wine would fall back to a ttyS)
wine_link_com() {
  local n=$1 path=$2
  timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$path" /f >"$WINEPREFIX.reg.log" 2>&1 </dev/null
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$path" "$WINEPREFIX/dosdevices/com$n"
}

wine_absent_com() {
  wine_link_com "$1" /nonexistent/rm516x-no-port
}

# wine_com_child N OUT COMMAND...   starts COMMAND (a simulator or a peer that prints its
#   pseudo-terminal's path first) in the background with its output in OUT, waits for that
#   path and links COMN to it. The child's pid is left in rm_child.
wine_com_child() {
  local n=$1 out=$2 device
  shift 2
  "$@" >"$out" 2>&1 &
  rm_child=$!
  rm_children+=("$rm_child")
  rm_linked_coms+=("$n")
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
  device=$(head -n 1 "$out")
  case $device in
    /dev/*) wine_link_com "$n" "$device" ;;
    *) echo "wine-env: $(basename "$1") did not start for COM$n: $device" >&2; return 1 ;;
  esac
}
