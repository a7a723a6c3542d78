#!/usr/bin/env bash
# Makes the signed fixtures of tests/test_trust.cpp with the real publishing
# tool and prints them as C++ literals (paste them over the block marked
# "Made by tests/data/trust/make_fixtures.sh"). Keys are thrown away: only
# their public halves and what they signed are kept.
#   make_fixtures.sh PATH/TO/zpublish
set -euo pipefail
ZP=$(realpath "${1:?usage: make_fixtures.sh PATH/TO/zpublish}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

pub=$("$ZP" keygen --out key.pem 2>/dev/null | sed -n 's/^PublicKey=//p')
other=$("$ZP" keygen --out other.pem 2>/dev/null | sed -n 's/^PublicKey=//p')
mkdir rel
# The released app.exe: 5000 bytes of the loopback server's pattern (i % 251).
python3 -c 'import sys; sys.stdout.buffer.write(bytes(i % 251 for i in range(5000)))' >rel/app.exe
printf '[SystemInfo]\nServer=127.0.0.1\nPort=80\nFileList=app.exe\n[Update]\nUpdateInfo=/upd\n[Security]\nPublicKey=%s\n[app.exe]\nCurrentVersion=1.0\nServerFileName=app.zip\nLocalFileName=app.exe\n' \
  "$pub" >tpl.ini
"$ZP" build --release rel --template tpl.ini --version 2.0 --key key.pem --out srv >/dev/null
"$ZP" verify --pubkey "$pub" --dir srv >/dev/null

literal() {  # NAME FILE: the file's bytes as one C++ string literal
  python3 - "$1" "$2" <<'PY'
import sys
name, path = sys.argv[1], sys.argv[2]
data = open(path, 'rb').read()
out = ''.join({'\r': '\\r', '\n': '\\n', '"': '\\"', '\\': '\\\\'}.get(chr(b), chr(b)) if 32 <= b < 127 or b in (10, 13)
              else '\\x%02x' % b for b in data)
print('const char %s[] =\n    "%s";' % (name, out.replace('\\n', '\\n"\n    "')))
PY
}
echo "// Made by tests/data/trust/make_fixtures.sh"
echo "const char PUBLIC_KEY[] = \"$pub\";"
echo "const char OTHER_PUBLIC_KEY[] = \"$other\";"
literal SIGNED_COPY srv/Update.zip
literal SIGNATURE srv/Update.zip.sig
