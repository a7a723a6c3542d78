#!/usr/bin/env bash
# The publishing tool, run for real: keys, a published server directory that
# verifies, each kind of tampering caught, refusals that leave nothing
# half-written, and versions carried over from a previous publication.
# Usage: test_publish.sh PATH/TO/zpublish
set -uo pipefail
ZP=$(realpath -m "${1:?usage: test_publish.sh PATH/TO/zpublish}")
[ -x "$ZP" ] || { echo "$ZP is not built (scripts/build.sh builds it)"; echo "0 passed, 1 failed"; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
passed=0 failed=0

pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
# check NAME COMMAND...: the command succeeds.
check() { local name=$1; shift; if "$@"; then pass "$name"; else fail "$name"; fi; }
# refused NAME PATTERN COMMAND...: the command fails and its output matches PATTERN.
refused() {
  local name=$1 pattern=$2 out rc; shift 2
  out=$("$@" 2>&1); rc=$?
  if [ $rc -ne 0 ] && grep -q -- "$pattern" <<<"$out"; then pass "$name"
  else fail "$name (exit $rc): $out"; fi
}
# No staging directory may be left beside a server directory.
no_leftovers() { ! compgen -G "$WORK/.*.tmp-*" >/dev/null; }
digest() { sha256sum "$1" | cut -d' ' -f1; }
ini_value() { tr -d '\r' <"$1" | awk -v s="[$2]" -v k="$3=" '$0==s{f=1;next} /^\[/{f=0} f&&index($0,k)==1{print substr($0,length(k)+1);exit}'; }

# --- Fixtures: a key, a release folder, a template -------------------------
TOOL=$'\xb9\xa4\x81\x5c'   # two GBK characters; the second ends in the byte "\"
PUB=$("$ZP" keygen --out key.pem 2>/dev/null | sed -n 's/^PublicKey=//p')
OTHER=$("$ZP" keygen --out other.pem 2>/dev/null | sed -n 's/^PublicKey=//p')
mkdir rel
printf 'client v1\n' >rel/Client.exe
printf 'tools v1\n' >rel/Tools.exe
printf 'gbk v1\n' >"rel/$TOOL.exe"
# The [Security] section a template pins the signing key with (any Https line kept as it is).
PINNED=$'; the key that signs this release\nPublicKey = '"$PUB"$'\nHttps=1\n'
write_template() {  # FILELIST EXTRA FILE [SECURITY-LINES, default PINNED]
  # LF line ends and GBK bytes on purpose: the output must be CRLF, bytes unchanged.
  printf '[SystemInfo]\nServer=localhost\nPort=8080\nFileList=%s\n\n[Update]\nUpdateInfo=/soft\n; \xd6\xd0\xce\xc4 comment\n\n%s\n[Client.exe]\nCurrentVersion=1.0\nServerFileName=Client.zip\nLocalFileName=Client.exe\n%s' \
    "$1" "${4-[Security]$'\n'$PINNED}" "${2:-}" >"$3"
}
# The lines of one section, without CRs.
section_lines() { tr -d '\r' <"$1" | awk -v s="[$2]" '$0==s{f=1;next} /^\[/{f=0} f'; }
write_template "Client.exe,Tools.dll,$TOOL.exe" '' tpl.ini

# --- keygen ------------------------------------------------------------------
check "keygen prints a 64-byte public key" test "$(base64 -d <<<"$PUB" | wc -c)" = 64
check "keygen writes the private key for its owner only" test "$(stat -c %a key.pem)" = 600
cp key.pem key.bak
refused "keygen never replaces an existing key" "never replaced" "$ZP" keygen --out key.pem
check "  ...and the key is unchanged" cmp -s key.pem key.bak
check "pubkey prints the same line again" test "$("$ZP" pubkey --key key.pem)" = "PublicKey=$PUB"

# --- build and verify ----------------------------------------------------------
"$ZP" build --release rel --template tpl.ini --version 1.1 --key key.pem --out srv >/dev/null 2>build.err
check "build succeeds" test -f srv/Update.zip
check "bodies are stored under their server names (defaults from the item name)" \
  bash -c "cmp -s rel/Client.exe srv/Client.zip && cmp -s rel/Tools.exe srv/Tools.zip && cmp -s 'rel/$TOOL.exe' 'srv/$TOOL.zip'"
check "each item gets the digest of its body" \
  test "$(ini_value srv/Update.zip Tools.dll Sha256)" = "$(digest srv/Tools.zip)"
check "each item gets the version given" test "$(ini_value srv/Update.zip Client.exe CurrentVersion)" = 1.1
check "the settings copy has CRLF line ends only" \
  test "$(grep -c $'\r$' srv/Update.zip)" = "$(wc -l <srv/Update.zip)"
check "template bytes are kept (GBK comment)" grep -q $'\xd6\xd0\xce\xc4 comment\r$' srv/Update.zip
check "the [Security] section is kept as it is (the pinned key, Https)" \
  test "$(section_lines srv/Update.zip Security)" = "$(section_lines tpl.ini Security)"
check "the signature is the base64 of 64 bytes" test "$(base64 -d srv/Update.zip.sig | wc -c)" = 64
check "the signature is ECDSA P-256 over SHA-256 (checked by openssl)" bash -c '
  openssl pkey -in key.pem -pubout -out pub.pem 2>/dev/null
  base64 -d srv/Update.zip.sig | python3 -c "
import sys
raw = sys.stdin.buffer.read()
def der_int(b):
    b = b.lstrip(b\"\\0\") or b\"\\0\"
    if b[0] & 0x80: b = b\"\\0\" + b
    return b\"\\x02\" + bytes([len(b)]) + b
body = der_int(raw[:32]) + der_int(raw[32:])
sys.stdout.buffer.write(b\"\\x30\" + bytes([len(body)]) + body)" >sig.der
  openssl dgst -sha256 -verify pub.pem -signature sig.der srv/Update.zip >/dev/null'
check "verify with the public key passes" "$ZP" verify --pubkey "$PUB" --dir srv >/dev/null
check "verify with the private key file passes" "$ZP" verify --key key.pem --dir srv >/dev/null
check "no staging directory is left" no_leftovers

# --- tampering: each case on a fresh copy of the good directory ----------------
#   name                        pattern                        change
tamper_cases=(
  "a file body changed|does not match its Sha256|printf x >>t/Tools.zip"
  "a file missing|Tools.zip is missing|rm t/Tools.zip"
  "the settings copy changed|does not verify|sed -i 's/^CurrentVersion=1.1/CurrentVersion=9.9/' t/Update.zip"
  "a digest removed|has no valid Sha256|sed -i '/^Sha256=/d' t/Update.zip"
  "the signature changed|does not verify|printf '%s' \"\$(base64 -d t/Update.zip.sig | tr '\\000-\\377' '\\001-\\377\\000' | base64 -w0)\" >t/Update.zip.sig"
  "the signature not base64|not the base64|printf 'not*base64' >t/Update.zip.sig"
  "the signature missing|Update.zip.sig is missing|rm t/Update.zip.sig"
)
for c in "${tamper_cases[@]}"; do
  IFS='|' read -r name pattern change <<<"$c"
  rm -rf t && cp -r srv t && eval "$change"
  refused "verify refuses: $name" "$pattern" "$ZP" verify --pubkey "$PUB" --dir t
done
refused "verify refuses: the wrong key" "does not verify" "$ZP" verify --key other.pem --dir srv
refused "verify refuses: a key that is not a curve point" "not a point" \
  "$ZP" verify --pubkey "$(head -c 64 /dev/zero | base64 -w0)" --dir srv
rm -rf t

# --- refusals of build: clear message, nothing written --------------------------
write_template "Client.exe,Missing.exe" '' tpl-missing.ini
write_template "Client.exe,Evil.exe" $'\n[Evil.exe]\nServerFileName=../evil.zip\n' tpl-evil.ini
build_into() { "$ZP" build --release rel --key key.pem --out "$1" "${@:2}"; }
refused "build refuses a release that lacks a named file" "the release lacks Missing.exe" \
  build_into new1 --template tpl-missing.ini --version 1.1
refused "build refuses a server name that leaves the directory" "not allowed in a file name" \
  build_into new2 --template tpl-evil.ini --version 1.1
refused "build refuses a version that does not read as one number" "not a plain decimal number" \
  build_into new3 --template tpl.ini --version 1.2.3
mkdir notserver && touch notserver/precious
refused "build never replaces a directory that is not a server directory" "not replaced" \
  build_into notserver --template tpl.ini --version 1.1
check "  ...refusals write no server directory and leave nothing beside it" \
  bash -c "[ ! -e new1 ] && [ ! -e new2 ] && [ ! -e new3 ] && [ -f notserver/precious ] && ! compgen -G '.*.tmp-*'"

# The server's copy becomes the installed settings after an update: a template
# that does not pin the signing key would switch the checks off (or lock the
# installations out) for every later release.
#   name                                pattern                       [Security] lines of the template
key_cases=(
  "no [Security] section|has no PublicKey in \[Security\]|"
  "[Security] without PublicKey|has no PublicKey in \[Security\]|[Security]"$'\n'"Https=1"$'\n'
  "another key's PublicKey|is not the public key of key.pem|[Security]"$'\n'"PublicKey=$OTHER"$'\n'
  "a PublicKey that is not base64|is not the public key of key.pem|[Security]"$'\n'"PublicKey=not*base64"$'\n'
)
rm -rf srv.before && cp -r srv srv.before
for i in "${!key_cases[@]}"; do
  IFS='|' read -r -d '' name pattern security <<<"${key_cases[$i]}"
  security=${security%$'\n'}   # the newline <<< adds
  write_template Client.exe '' "tpl-key$i.ini" "$security"
  refused "build refuses a template with $name" "$pattern" build_into "key$i" --template "tpl-key$i.ini" --version 1.1
  refused "  ...also over an existing server directory" "$pattern" build_into srv --template "tpl-key$i.ini" --version 1.1
done
# An item of that name would get its CurrentVersion and Sha256 written into the section.
cp rel/Client.exe rel/Security.exe
write_template Client.exe,Security '' tpl-key-item.ini
refused "build refuses an item named Security" "write its versions into the \[Security\]" \
  build_into key-item --template tpl-key-item.ini --version 1.1
rm rel/Security.exe
check "  ...and nothing is written: no new directory, the old one untouched, nothing beside it" \
  bash -c "! compgen -G 'key[0-9]*' && [ ! -e key-item ] && diff -r srv.before srv && ! compgen -G '.*.tmp-*'"

# --- a second publication over the first, with --previous ------------------------
printf 'tools v2\n' >rel/Tools.exe
printf 'extra v1\n' >rel/Extra.exe
write_template "Client.exe,Tools.dll,$TOOL.exe,Extra.exe" '' tpl2.ini
touch srv/stale.zip
"$ZP" build --release rel --template tpl2.ini --version 1.2 --key key.pem --out srv --previous srv >/dev/null
check "an unchanged file keeps its previous version" test "$(ini_value srv/Update.zip Client.exe CurrentVersion)" = 1.1
check "a changed file gets the new version" test "$(ini_value srv/Update.zip Tools.dll CurrentVersion)" = 1.2
check "a new file gets the new version" test "$(ini_value srv/Update.zip Extra.exe CurrentVersion)" = 1.2
check "the new directory replaced the old one whole" bash -c "[ ! -e srv/stale.zip ] && cmp -s rel/Tools.exe srv/Tools.zip"
check "the republished directory verifies" "$ZP" verify --pubkey "$PUB" --dir srv >/dev/null
check "no staging directory is left" no_leftovers

# A failure after the bodies were copied: the live directory stays as it was.
printf 'tools v3\n' >rel/Tools.exe
rm -rf srv.before && cp -r srv srv.before
refused "build refuses a changed file whose version is not above the previous one" "is not above its previous version" \
  "$ZP" build --release rel --template tpl2.ini --version 1.2 --key key.pem --out srv --previous srv
check "  ...and the live directory is untouched" diff -r srv.before srv
check "  ...and nothing is left beside it" no_leftovers

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
