# Sourced by the other scripts: the private Wine environment of one build folder.
#   BUILD_DIR     the build folder (default: build beside the sources)
#   WINE_DISPLAY  "null" for headless runs (default), "x11" for screenshots
SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build}
WINE_DISPLAY=${WINE_DISPLAY:-null}

export WINEPREFIX=$BUILD_DIR/wine-$WINE_DISPLAY
export WINEDEBUG=-all
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's WinINet honours the proxy variables even for 127.0.0.1.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy all_proxy ALL_PROXY no_proxy NO_PROXY

WINE_LOADER=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$WINE_LOADER" ] || WINE_LOADER=$(command -v wine)
WINESERVER_BIN=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$WINESERVER_BIN" ] || WINESERVER_BIN=/usr/lib/wine/wineserver
export WINESERVER=$WINESERVER_BIN

# Creates the prefix once: ANSI code page 936 comes from LC_ALL; the graphics
# driver and the crash dialog are set in the prefix's registry.
wine_prefix_init() {
  if [ ! -f "$WINEPREFIX/.initialised" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
    if [ "$WINE_DISPLAY" = null ]; then
      "$WINE_LOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    fi
    "$WINE_LOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$WINEPREFIX/.initialised"
  fi
}

# A persistent wineserver with the prefix's services started, so that many
# short Wine runs are fast and no service inherits a test's output pipes.
wine_server_start() {
  "$WINESERVER" -p
  "$WINE_LOADER" wineboot >/dev/null 2>&1 || true
}

# Stops the wineserver of this (our own) prefix and everything in it.
wine_server_stop() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
}
