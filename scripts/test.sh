#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test
# program under CTest in a private, headless Wine prefix. Extra arguments go
# to ctest (for example -R test_settings).
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
"$SOURCE_DIR/scripts/setup.sh"
"$SOURCE_DIR/scripts/build.sh"

WINE_DISPLAY=null
. "$SOURCE_DIR/scripts/wine-env.sh"
wine_prefix_init
wine_server_start
trap wine_server_stop EXIT

cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" "$@"
