#!/usr/bin/env bash
# The download benchmark, in one command: builds, starts nginx on a free
# loopback port with generated files, measures curl on the Linux side and
# bench_download.exe under Wine (FetchFile, the bare WinINet loop with and
# without the message passes), and prints throughputs, ratios and the peak
# working set for a 16 MiB and a large file.
#   scripts/bench.sh [size-in-MiB]      (default 256; e.g. 32 for a quick run)
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build}

if [ "${1:-}" = "--inner" ]; then
  # Runs beside nginx: E2E_HTTP_PORT and E2E_HTTP_ROOT are set.
  size_mib=$2
  head -c $((16 << 20)) /dev/urandom > "$E2E_HTTP_ROOT/small.bin"
  head -c $((size_mib << 20)) /dev/urandom > "$E2E_HTTP_ROOT/large.bin"
  chmod 644 "$E2E_HTTP_ROOT"/*.bin
  url=http://127.0.0.1:$E2E_HTTP_PORT/large.bin
  curl -s -o /dev/null "$url"  # warm the page cache
  bps=$(curl -s -o /dev/null -w '%{speed_download}' "$url")
  curl_mbps=$(python3 -c "print($bps / 1e6)")
  bench="$BUILD_DIR/bench/bench_download.exe"
  small_bps=$(curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$E2E_HTTP_PORT/small.bin")
  echo "== 16 MiB"
  "$WINE_LOADER" "$bench" "$E2E_HTTP_PORT" /small.bin $((16 << 20)) --curl-mbps "$(python3 -c "print($small_bps / 1e6)")"
  echo "== $size_mib MiB"
  "$WINE_LOADER" "$bench" "$E2E_HTTP_PORT" /large.bin $((size_mib << 20)) --curl-mbps "$curl_mbps"
  exit 0
fi

size_mib=${1:-256}
"$SOURCE_DIR/scripts/build.sh" >/dev/null
. "$SOURCE_DIR/scripts/wine-env.sh"
wine_prefix_init
wine_server_start
# The request flags make WinINet keep a copy of every body in the prefix's
# cache: empty it afterwards.
cleanup() {
  wine_server_stop
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/* 2>/dev/null || true
}
trap cleanup EXIT
export WINE_LOADER
E2E_NGINX_LIFETIME=1800 bash "$SOURCE_DIR/tests/e2e/with_nginx.sh" bash "$SOURCE_DIR/scripts/bench.sh" --inner "$size_mib"
