# Sourced: the project's Wine prefix and virtual display.
#   wine_env_start   make the prefix on first use, start Xvfb and one wineserver
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export RM_XVFB_DISPLAY=${RM_XVFB_DISPLAY:-:93}

wine_env_start() {
  if [ -z "${DISPLAY:-}" ] || [ "${DISPLAY}" = "$RM_XVFB_DISPLAY" ]; then
    export DISPLAY=$RM_XVFB_DISPLAY
    if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && [ ! -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then
      Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
    fi
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >"$WINEPREFIX.boot.log" 2>&1
  fi
  wineserver -p >/dev/null 2>&1 </dev/null || true
}
