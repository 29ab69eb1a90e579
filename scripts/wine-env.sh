# Sourced: the project's Wine prefix and virtual display.
#   wine_env_start   make the prefix on first use, start Xvfb and one wineserver
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export RM_XVFB_DISPLAY=${RM_XVFB_DISPLAY:-:93}

wine_env_start() {
  if [ -z "${DISPLAY:-}" ] || [ "${DISPLAY}" = "$RM_XVFB_DISPLAY" ]; then
    export DISPLAY=$RM_XVFB_DISPLAY
    local n=${DISPLAY#:} pid
    pid=$(cat "/tmp/.X$n-lock" 2>/dev/null | tr -dc 0-9)
    if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
      # A display that died leaves its lock and socket behind; Xvfb would refuse to start.
      rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
      Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >"$WINEPREFIX.boot.log" 2>&1
  fi
  wineserver -p >/dev/null 2>&1 </dev/null || true
  # Without a window manager, hiding a managed window waits 2 s for a withdrawal nobody
  # confirms; the GUI test makes and ends many windows, so its windows are left unmanaged.
  if ! grep -qF 'AppDefaults\\gui_test.exe\\X11 Driver' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\AppDefaults\gui_test.exe\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 </dev/null
  fi
}

# COM ports of the prefix. The wineserver rebuilds dosdevices/comN from the registry when
# it starts, so a link is set in both places; keep the one server wine_env_start started.
#   wine_link_com N PATH   COMN opens PATH (a tty or a pseudo-terminal's slave)
#   wine_absent_com N      COMN fails to open (left unset, Wine would fall back to a ttyS)
wine_link_com() {
  local n=$1 path=$2
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$path" /f >"$WINEPREFIX.reg.log" 2>&1 </dev/null
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$path" "$WINEPREFIX/dosdevices/com$n"
}

wine_absent_com() {
  wine_link_com "$1" /nonexistent/rm516x-no-port
}
