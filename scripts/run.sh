#!/usr/bin/env bash
# The main job: installs what is missing, builds, lays out a sample
# installation (sample/Update.ini: two small sample programs and a read-me,
# pinned to a signing key made on the spot) and a sample release, published,
# signed and verified with the publishing tool (zpublish) and served by nginx
# on 127.0.0.1, then runs the updater against it.
#
#   scripts/run.sh                  the unattended update ("Update.exe true"),
#                                   headless; prints a before/after table of
#                                   every maintained file and the exit code
#   scripts/run.sh --wizard DIR     the interactive wizard under a virtual X
#                                   server instead, pressed through its steps,
#                                   with one screenshot per step in DIR
#
# Everything it starts (nginx, Xvfb, the Wine server of its own prefix, the
# programs) is stopped when it ends. The sample lives in BUILD_DIR/sample.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)

usage() { echo "usage: scripts/run.sh [--wizard DIR]" >&2; exit 2; }

# The outer run: set-up and build, then the inner run beside nginx.
if [ "${1:-}" != "--inner" ]; then
  MODE=update SHOT_DIR=
  case "${1:-}" in
    "") ;;
    --wizard) [ $# -eq 2 ] || usage; MODE=wizard; SHOT_DIR=$(mkdir -p "$2" && cd "$2" && pwd) ;;
    *) usage ;;
  esac
  "$SOURCE_DIR/scripts/setup.sh"
  # Quiet unless it fails (ninja reports compile errors on stdout).
  if ! BUILD_LOG=$("$SOURCE_DIR/scripts/build.sh" 2>&1); then
    echo "$BUILD_LOG" >&2
    echo "run.sh: the build failed" >&2
    exit 1
  fi
  exec "$SOURCE_DIR/tests/e2e/with_nginx.sh" "$0" --inner "$MODE" "$SHOT_DIR"
fi

# The inner run: nginx serves E2E_HTTP_ROOT on 127.0.0.1:E2E_HTTP_PORT.
MODE=$2
SHOT_DIR=${3:-}
PORT=$E2E_HTTP_PORT
WWW=$E2E_HTTP_ROOT

if [ "$MODE" = wizard ]; then WINE_DISPLAY=x11; else WINE_DISPLAY=null; fi
. "$SOURCE_DIR/scripts/wine-env.sh"

SAMPLE=$BUILD_DIR/sample
INSTALL=$SAMPLE/install
HELPERS=$BUILD_DIR/tests/helpers
winpath() { echo "Z:${1//\//\\}"; }

XVFB_PID=
cleanup() {
  wine_server_stop
  [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

if [ "$MODE" = wizard ]; then
  # A virtual screen of our own.
  DISPLAY_NUM=${DISPLAY_NUM:-97}
  export DISPLAY=:$DISPLAY_NUM
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
fi
wine_prefix_init
wine_server_start

# The sample programs are copies of a small window program of ours
# (tests/helpers/guardee.exe); each version carries its own trailer, so that
# every version has its own size and checksum.
sample_program() {  # name version
  cat "$HELPERS/guardee.exe"
  printf '\nZentrel sample %s %s\n' "$1" "$2"
}

# sample/Update.ini with our server port, the given versions
# ("Section=version" ...) and the publisher's key pinned in [Security], with
# CRLF line ends.
settings() {
  awk -v port="$PORT" -v versions="$*" -v pin="$PUBLIC_KEY_LINE" '
    BEGIN { n = split(versions, pairs, " "); for (i = 1; i <= n; i++) { split(pairs[i], kv, "="); v["[" kv[1] "]"] = kv[2] } }
    { sub(/\r$/, "") }
    /^\[/ { section = $0 }
    /^Port=/ { $0 = "Port=" port }
    /^CurrentVersion=/ && (section in v) { $0 = "CurrentVersion=" v[section] }
    { printf "%s\r\n", $0 }
    END { printf "\r\n[Security]\r\n%s\r\n", pin }' "$SOURCE_DIR/sample/Update.ini"
}

# The publisher's key, made for this run: the installation pins its public
# half and accepts only releases it signed.
rm -rf "$SAMPLE"
PUBLISH=$SAMPLE/publish
ZPUBLISH=$BUILD_DIR/tools/publish/zpublish
mkdir -p "$INSTALL" "$PUBLISH/release"
PUBLIC_KEY_LINE=$("$ZPUBLISH" keygen --out "$PUBLISH/key.pem" 2>/dev/null)

# The installation as sample/Update.ini describes it: Client.exe 1.2,
# Tools.dll 2.05, the read-me 1.0.
cp "$BUILD_DIR/Update.exe" "$INSTALL/"
sample_program Client 1.2 > "$INSTALL/Client.exe"
sample_program Tools 2.05 > "$INSTALL/Tools.dll"
printf 'Zentrel sample read-me 1.0\r\n' > "$INSTALL/Readme.txt"
settings > "$INSTALL/Update.ini"

# The release on the server, published with zpublish the way its history
# went: the files as installed (1.0), then a new Client (1.3), then new Tools
# (2.1; 2.05 < 2.1 as numbers). Each publication starts from the previous
# one, where a file whose contents did not change keeps its version: the
# read-me stays at 1.0 and is not offered again. The template is the
# installed settings, so the [Security] section goes out as installed.
settings > "$PUBLISH/Update.ini"
publish() {  # version [--previous DIR]
  "$ZPUBLISH" build --release "$PUBLISH/release" --template "$PUBLISH/Update.ini" --version "$1" \
    --key "$PUBLISH/key.pem" --out "$WWW/soft" "${@:2}" >/dev/null
}
cp "$INSTALL/Client.exe" "$INSTALL/Tools.dll" "$INSTALL/Readme.txt" "$PUBLISH/release/"
publish 1.0
sample_program Client 1.3 > "$PUBLISH/release/Client.exe"
publish 1.3 --previous "$WWW/soft"
sample_program Tools 2.1 > "$PUBLISH/release/Tools.dll"
publish 2.1 --previous "$WWW/soft"
if ! VERIFIED=$("$ZPUBLISH" verify --pubkey "${PUBLIC_KEY_LINE#PublicKey=}" --dir "$WWW/soft"); then
  echo "$VERIFIED" >&2
  exit 1
fi
echo "Release published with zpublish, signed with a key made for this run ($PUBLISH/key.pem) and verified"

# A snapshot of every maintained file: name, recorded version, size, sha256.
snapshot() {
  python3 - "$INSTALL" <<'PY'
import configparser, hashlib, json, os, sys
install = sys.argv[1]
ini = configparser.ConfigParser(strict=False, interpolation=None)
ini.optionxform = str
ini.read(os.path.join(install, "Update.ini"), encoding="gbk")
rows = []
for item in [s for s in ini.get("SystemInfo", "FileList", fallback="").split(",") if s]:
    name = ini.get(item, "LocalFileName", fallback=item)
    version = ini.get(item, "CurrentVersion", fallback="1.0")
    path = os.path.join(install, name)
    if os.path.isfile(path):
        data = open(path, "rb").read()
        rows.append([name, version, str(len(data)), hashlib.sha256(data).hexdigest()[:16]])
    else:
        rows.append([name, version, "-", "-"])
print(json.dumps(rows))
PY
}

print_table() {  # before-json after-json exit-code
  python3 - "$1" "$2" "$3" <<'PY'
import json, sys
before, after, code = json.loads(sys.argv[1]), json.loads(sys.argv[2]), int(sys.argv[3])
meaning = {0: "nothing newer, or every file updated and the settings replaced",
           1: "a file failed, the run stopped, an error escaped or the settings were not replaced",
           2: "the server could not be reached", 3: "another updater was running for this installation",
           4: "the server's settings failed their signature check"}
head = ["file", "version", "size", "sha256", "", "version", "size", "sha256"]
rows = [head]
after_by_name = {r[0]: r for r in after}
for r in before:
    a = after_by_name.get(r[0], [r[0], "-", "-", "-"])
    rows.append([r[0], r[1], r[2], r[3], "->" if r[1:] != a[1:] else "==", a[1], a[2], a[3]])
widths = [max(len(row[i]) for row in rows) for i in range(len(head))]
start = lambda column: sum(widths[:column]) + 2 * column
print(" " * start(1) + "before".ljust(start(5) - start(1)) + "after")
for row in rows:
    print("  ".join(cell.ljust(w) for cell, w in zip(row, widths)).rstrip())
print("\nexit code %d: %s" % (code, meaning.get(code, "unexpected")))
PY
}

BEFORE=$(snapshot)
UPDATER=$(winpath "$INSTALL/Update.exe")

if [ "$MODE" = update ]; then
  # Client.exe is running (with one window that agrees to close): the
  # unattended run closes it before it replaces the file.
  "$WINE_LOADER" "$INSTALL/Client.exe" "$(winpath "$SAMPLE/client-events.txt")" a >/dev/null 2>&1 &
  CLIENT_PID=$!
  for _ in $(seq 100); do grep -q ready "$SAMPLE/client-events.txt" 2>/dev/null && break; sleep 0.1; done
  echo "Client.exe is running; starting: Update.exe true"
  set +e
  "$WINE_LOADER" "$UPDATER" true >/dev/null 2>&1
  CODE=$?
  set -e
  if kill -0 "$CLIENT_PID" 2>/dev/null; then echo "Client.exe is still running"; else echo "Client.exe was closed"; fi
else
  DRIVER=$HELPERS/wizard_driver.exe
  shot() { sleep 0.5; xwd -root -silent | convert xwd:- "$SHOT_DIR/$1"; echo "screenshot: $SHOT_DIR/$1"; }
  "$WINE_LOADER" "$UPDATER" >/dev/null 2>&1 &
  UPDATE_PID=$!
  "$WINE_LOADER" "$DRIVER" wait
  shot 1-start.png
  "$WINE_LOADER" "$DRIVER" press   # 下一步: the version check
  shot 2-check.png
  "$WINE_LOADER" "$DRIVER" press   # 更新: the update run
  shot 3-update.png
  "$WINE_LOADER" "$DRIVER" press   # 完成: the wizard closes
  set +e
  wait "$UPDATE_PID"
  CODE=$?
  set -e
fi

print_table "$BEFORE" "$(snapshot)" "$CODE"
