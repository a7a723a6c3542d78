#!/usr/bin/env bash
# Builds the native Linux tools (the publishing tool zpublish) with the host
# compiler into BUILD_DIR/tools/publish (BUILD_DIR default: build).
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build}
TOOLS_BUILD="$BUILD_DIR/tools/publish"
if [ ! -f "$TOOLS_BUILD/build.ninja" ]; then
  cmake -S "$SOURCE_DIR/tools/publish" -B "$TOOLS_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$TOOLS_BUILD" -j "$(nproc)"
