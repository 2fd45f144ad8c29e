# Sourced by the scripts that run Windows programs: a fixed, quiet Wine prefix
# inside the build tree, created on first use.
export WINEPREFIX="${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

wine_prepare() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # Without a window manager, destroying a shown top-level window would wait 2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
  # A persistent wineserver, started before the test runner, keeps Wine's
  # background processes from inheriting (and holding open) ctest's output pipe.
  wineserver -p >/dev/null 2>&1 || true
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
