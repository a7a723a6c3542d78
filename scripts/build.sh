#!/usr/bin/env bash
# Configures and builds everything into BUILD_DIR (default: build).
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$BUILD_DIR" -j "$(nproc)"
# The native publishing tool, which the tests also run.
BUILD_DIR="$BUILD_DIR" "$SOURCE_DIR/scripts/build-tools.sh"
