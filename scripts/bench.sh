#!/usr/bin/env bash
# The download benchmark, in one command: builds, starts nginx on a free
# loopback port with generated files, measures curl on the Linux side and
# bench_download.exe under Wine in interleaved rounds (FetchFile, the bare
# WinINet loop with and without the message passes), then the program's peak
# working set for a 16 MiB and a large file, each in a fresh process.
#   scripts/bench.sh [total-MiB] [rounds]   (default 256 and 16; 64 for a quick run)
# Each variant reads total-MiB in all, as rounds downloads of total/rounds.
#
# BENCH_PIN=same (default) puts the benchmark and this prefix's wineserver
# on one CPU. Under Wine an empty PeekMessageA (and each socket read) is a
# round trip to wineserver: a peek costs about 10 us when both share a CPU
# and 45-80 us when they sit on different CPUs (a cross-CPU wake-up in this
# virtual machine), and without pinning the scheduler flips between the two
# within seconds. BENCH_PIN=apart keeps them on different CPUs (the slow
# floor), BENCH_PIN=none leaves the scheduler be. BENCH_CPU chooses the CPU
# (default: the last one this shell may use).
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build}

if [ "${1:-}" = "--inner" ]; then
  # Runs beside nginx: E2E_HTTP_PORT and E2E_HTTP_ROOT are set; BENCH_RUN is
  # the command prefix that pins the Wine side.
  total_mib=$2 rounds=$3
  round_bytes=$(( (total_mib << 20) / rounds ))
  head -c "$round_bytes" /dev/urandom > "$E2E_HTTP_ROOT/round.bin"
  head -c $((16 << 20)) /dev/urandom > "$E2E_HTTP_ROOT/small.bin"
  head -c $((total_mib << 20)) /dev/urandom > "$E2E_HTTP_ROOT/large.bin"
  chmod 644 "$E2E_HTTP_ROOT"/*.bin
  base=http://127.0.0.1:$E2E_HTTP_PORT
  # curl reads the large file (same bytes per second, less timing noise
  # than a round's file); the first read warms the page cache.
  curl -s -o /dev/null "$base/large.bin"
  curl_args=()
  for _ in $(seq 5); do
    bps=$(curl -s -o /dev/null -w '%{speed_download}' "$base/large.bin")
    curl_args+=(--curl-mbps "$(python3 -c "print($bps / 1e6)")")
  done
  bench="$BUILD_DIR/bench/bench_download.exe"
  # shellcheck disable=SC2086
  $BENCH_RUN "$WINE_LOADER" "$bench" "$E2E_HTTP_PORT" /round.bin "$round_bytes" --rounds "$rounds" "${curl_args[@]}"
  echo
  # shellcheck disable=SC2086
  $BENCH_RUN "$WINE_LOADER" "$bench" "$E2E_HTTP_PORT" /small.bin $((16 << 20)) --memory
  # shellcheck disable=SC2086
  $BENCH_RUN "$WINE_LOADER" "$bench" "$E2E_HTTP_PORT" /large.bin $((total_mib << 20)) --memory
  exit 0
fi

total_mib=${1:-256}
rounds=${2:-16}
"$SOURCE_DIR/scripts/build.sh" >/dev/null
. "$SOURCE_DIR/scripts/wine-env.sh"

# This prefix's wineserver: the one whose working directory is the server
# folder Wine names after the prefix's device and inode.
wineserver_pid() {
  local tag pid
  tag=server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep wineserver); do
    case $(readlink "/proc/$pid/cwd" 2>/dev/null) in */"$tag") echo "$pid"; return 0 ;; esac
  done
  return 1
}

allowed=$(python3 -c 'import os; print(",".join(map(str, sorted(os.sched_getaffinity(0)))))')
IFS=, read -r -a cpus <<< "$allowed"
wine_prefix_init
# A server already running for this prefix (a test run in the same build
# folder) is used and left running, with its CPUs given back at the end.
if server=$(wineserver_pid); then
  own_server=0
else
  own_server=1
  wine_server_start
  server=$(wineserver_pid) || { echo "bench: wineserver of $WINEPREFIX not found" >&2; exit 1; }
fi
# The request flags make WinINet keep a copy of every body in the prefix's
# cache: the benchmark removes each one, and the cache is emptied afterwards.
cleanup() {
  if [ "$own_server" = 1 ]; then
    wine_server_stop
    rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/* 2>/dev/null || true
  else
    taskset -a -p -c "$allowed" "$server" >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

pin=${BENCH_PIN:-same}
cpu=${BENCH_CPU:-${cpus[-1]}}
other=
for c in "${cpus[@]}"; do [ "$c" = "$cpu" ] || { other=$c; break; }; done
[ "$pin" != apart ] || [ -n "$other" ] || { echo "bench: BENCH_PIN=apart needs two CPUs; not pinning" >&2; pin=none; }
BENCH_RUN=
if [ "$pin" != none ]; then
  taskset -a -p -c "$cpu" "$server" >/dev/null
  if [ "$pin" = same ]; then
    BENCH_RUN="taskset -c $cpu"
    echo "Wine side: bench_download.exe and wineserver on CPU $cpu (BENCH_PIN=same)"
  else
    BENCH_RUN="taskset -c $other"
    echo "Wine side: wineserver on CPU $cpu, bench_download.exe on CPU $other (BENCH_PIN=apart)"
  fi
else
  echo "Wine side: not pinned (BENCH_PIN=none)"
fi
export WINE_LOADER BENCH_RUN
E2E_NGINX_LIFETIME=3600 bash "$SOURCE_DIR/tests/e2e/with_nginx.sh" bash "$SOURCE_DIR/scripts/bench.sh" --inner "$total_mib" "$rounds"
