#!/usr/bin/env bash
# The main job: installs what is missing, builds, lays out a sample
# installation and shows the wizard under a virtual X server, saving a
# screenshot of it.
#   scripts/run.sh [SHOT.png]      (default: shots/wizard.png)
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
SHOT=${1:-$SOURCE_DIR/shots/wizard.png}
"$SOURCE_DIR/scripts/setup.sh"
"$SOURCE_DIR/scripts/build.sh" >/dev/null

WINE_DISPLAY=x11
. "$SOURCE_DIR/scripts/wine-env.sh"

# A virtual screen of our own; everything started here stops at the end.
DISPLAY_NUM=${DISPLAY_NUM:-97}
export DISPLAY=:$DISPLAY_NUM
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
UPDATE_PID=
cleanup() {
  [ -n "$UPDATE_PID" ] && kill "$UPDATE_PID" 2>/dev/null || true
  wine_server_stop
  kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

wine_prefix_init
wine_server_start

INSTALL_DIR=$BUILD_DIR/sample-install
rm -rf "$INSTALL_DIR"
mkdir -p "$INSTALL_DIR"
cp "$BUILD_DIR/Update.exe" "$SOURCE_DIR/sample/Update.ini" "$INSTALL_DIR/"

"$WINE_LOADER" "$INSTALL_DIR/Update.exe" >/dev/null 2>&1 &
UPDATE_PID=$!
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Zentrel 1.0"' && break
  sleep 0.1
done
sleep 1  # let the dialog paint
mkdir -p "$(dirname "$SHOT")"
xwd -root -silent | convert xwd:- "$SHOT"
echo "wizard screenshot: $SHOT"
