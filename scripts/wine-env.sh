# Sourced by the scripts that run Windows programs: a fixed, quiet Wine prefix
# inside the build tree, created on first use, and an X display of its own for the
# programs that open windows (the editor's window tests).
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# A display number no desktop uses. wine_prepare starts an Xvfb there unless one already
# answers; wine_stop stops only the one it started. Its screen holds the editor at full size
# (1630 x 1010) in a host window: OpenGL draws nothing where a window is off the screen.
export TOLVANE_XVFB_DISPLAY="${TOLVANE_XVFB_DISPLAY:-:97}"
TOLVANE_XVFB_PID=""

xvfb_answers() {
  if command -v xdpyinfo >/dev/null 2>&1; then
    xdpyinfo -display "$TOLVANE_XVFB_DISPLAY" >/dev/null 2>&1
  else
    [ -S "/tmp/.X11-unix/X${TOLVANE_XVFB_DISPLAY#:}" ]
  fi
}

xvfb_start() {
  if xvfb_answers; then
    return 0
  fi
  # -noreset: the server would otherwise reset (refusing connections meanwhile) whenever its
  # last client leaves, which editor tests that open and close connections do all the time.
  Xvfb "$TOLVANE_XVFB_DISPLAY" -screen 0 1920x1200x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  TOLVANE_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    if xvfb_answers; then
      return 0
    fi
    if ! kill -0 "$TOLVANE_XVFB_PID" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  echo "wine: no X display: Xvfb did not start on $TOLVANE_XVFB_DISPLAY" >&2
  TOLVANE_XVFB_PID=""
  return 1
}

wine_prepare() {
  # A wineserver still running for this prefix keeps the display it was started with: it
  # goes before Wine starts on the new one.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  xvfb_start || return 1
  export DISPLAY="$TOLVANE_XVFB_DISPLAY"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Without a window manager, destroying a shown top-level window would wait 2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  wineserver -w
  # A persistent wineserver, started before the test runner, keeps Wine's
  # background processes from inheriting (and holding open) ctest's output pipe.
  wineserver -p >/dev/null 2>&1 || true
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  # Wine first: its processes hold connections to the display.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$TOLVANE_XVFB_PID" ]; then
    kill "$TOLVANE_XVFB_PID" 2>/dev/null || true
    wait "$TOLVANE_XVFB_PID" 2>/dev/null || true
    TOLVANE_XVFB_PID=""
  fi
}
