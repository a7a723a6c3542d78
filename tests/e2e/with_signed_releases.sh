#!/usr/bin/env bash
# Runs a command beside nginx serving releases published by the real
# publishing tool: a good signed release and tampered variants of it, each
# under a prefix of its own in one document root, over plain HTTP and over
# HTTPS. For HTTPS a throwaway test CA issues a certificate for "localhost";
# a second server offers a certificate for the same name from a CA nobody
# trusts. The test CA is handed to the command (which puts it into its own
# Wine prefix), never to the machine's trust store.
#
#   with_signed_releases.sh PATH/TO/zpublish <command> [arguments...]
#
# The command gets:
#   E2E_HTTP_PORT, E2E_HTTP_ROOT  plain HTTP (as tests/e2e/with_nginx.sh gives them)
#   E2E_HTTPS_PORT                TLS, certificate for localhost from the test CA
#   E2E_HTTPS_UNTRUSTED_PORT      TLS, certificate for localhost from an unknown CA
#   E2E_TRUST_DIR                 release/ (the released files), ca.der (the test CA)
#   E2E_PUBLIC_KEY, E2E_OTHER_PUBLIC_KEY  the signing key's PublicKey line, and another key's
# Prefixes under the root (UpdateInfo):
#   /good      signed release: trust_app.exe and trust_lib.dll at 2.0
#   /badcopy   /good with a version in Update.zip changed after signing
#   /badsig    /good with one character of Update.zip.sig changed
#   /nosig     /good without Update.zip.sig
#   /badfile   /good with one byte of trust_app.exe's body changed
#   /nodigest  /good whose Update.zip lacks trust_app.exe's Sha256, signed anew
#   /tls       the release published for Server=localhost, the TLS port, Https=1
# nginx is stopped by its PID when the command ends, and ends by itself after
# E2E_NGINX_LIFETIME seconds (default 900) whatever happens.
set -euo pipefail

ZP=$(realpath "${1:?usage: with_signed_releases.sh PATH/TO/zpublish <command> [arguments...]}")
shift
[ -x "$ZP" ] || { echo "with_signed_releases: $ZP is not built (scripts/build.sh builds it)" >&2; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/nginx.sh"

nginx_work_dir e2e-trust
trap nginx_stop EXIT
mkdir -p "$work/release" "$work/keys" "$work/tls"
# nginx's workers need to read the certificates too.
chmod 755 "$work/tls"

# --- TLS: a test CA, a certificate for localhost from it, and the same from
# a CA that nobody trusts. ------------------------------------------------------
make_ca() {  # NAME
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Updater $1 Test CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$work/tls/$1-ca.key" -out "$work/tls/$1-ca.pem" 2>/dev/null
}
make_localhost_cert() {  # CA-NAME
  local d=$work/tls
  openssl req -new -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$d/$1-server.key" -out "$d/$1-server.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' >"$d/ext.cnf"
  openssl x509 -req -in "$d/$1-server.csr" -CA "$d/$1-ca.pem" -CAkey "$d/$1-ca.key" -CAcreateserial \
    -days 2 -sha256 -extfile "$d/ext.cnf" -out "$d/$1-server.pem" 2>/dev/null
  chmod 644 "$d/$1-server.key"
}
make_ca trusted
make_ca unknown
make_localhost_cert trusted
make_localhost_cert unknown
openssl x509 -in "$work/tls/trusted-ca.pem" -outform DER -out "$work/ca.der"

# --- nginx: one plain listener and two TLS listeners on the same root -------------
tls_server_block() {  # PORT CA-NAME
  cat <<CONF
  server {
    listen 127.0.0.1:$1 ssl;
    server_name localhost;
    ssl_certificate $work/tls/$2-server.pem;
    ssl_certificate_key $work/tls/$2-server.key;
    root $root;
  }
CONF
}
server_blocks() {  # HTTP-PORT HTTPS-PORT UNTRUSTED-PORT
  echo "  server { listen 127.0.0.1:$1; root $root; }"
  tls_server_block "$2" trusted
  tls_server_block "$3" unknown
}
nginx_start with_signed_releases 3 server_blocks
http_port=${nginx_ports[0]} https_port=${nginx_ports[1]} untrusted_port=${nginx_ports[2]}

# --- The releases ------------------------------------------------------------------
pub=$("$ZP" keygen --out "$work/keys/key.pem" 2>/dev/null | sed -n 's/^PublicKey=//p')
other=$("$ZP" keygen --out "$work/keys/other.pem" 2>/dev/null | sed -n 's/^PublicKey=//p')
head -c 70000 /dev/urandom >"$work/release/trust_app.exe"
head -c 3000 /dev/urandom >"$work/release/trust_lib.dll"

write_template() {  # FILE SERVER PORT PREFIX HTTPS
  printf '[SystemInfo]\nServer=%s\nPort=%s\nFileList=trust_app.exe,trust_lib.dll\n[Update]\nUpdateInfo=%s\n[Security]\nPublicKey=%s\nHttps=%s\n[trust_app.exe]\nCurrentVersion=1.0\nServerFileName=trust_app.zip\nLocalFileName=trust_app.exe\n[trust_lib.dll]\nCurrentVersion=1.0\nServerFileName=trust_lib.zip\nLocalFileName=trust_lib.dll\n' \
    "$2" "$3" "$4" "$pub" "$5" >"$1"
}
publish() {  # PREFIX SERVER PORT HTTPS
  write_template "$work/template-$1.ini" "$2" "$3" "/$1" "$4"
  "$ZP" build --release "$work/release" --template "$work/template-$1.ini" --version 2.0 \
    --key "$work/keys/key.pem" --out "$root/$1" >/dev/null
}
# The raw r||s base64 signature of a file, made with openssl (which signs in DER).
sign_raw() {  # FILE
  openssl dgst -sha256 -sign "$work/keys/key.pem" "$1" | python3 -c '
import base64, sys
der = sys.stdin.buffer.read()
def integer(i):
    assert der[i] == 2
    n = der[i + 1]
    return der[i + 2:i + 2 + n].lstrip(b"\0").rjust(32, b"\0"), i + 2 + n
i = 2 if der[1] < 0x80 else 3
r, i = integer(i)
s, _ = integer(i)
print(base64.b64encode(r + s).decode())'
}

for prefix in good badcopy badsig nosig badfile nodigest; do
  publish "$prefix" 127.0.0.1 "$http_port" 0
done
publish tls localhost "$https_port" 1
"$ZP" verify --pubkey "$pub" --dir "$root/good" >/dev/null
"$ZP" verify --pubkey "$pub" --dir "$root/tls" >/dev/null

sed -i '0,/CurrentVersion=2.0/s//CurrentVersion=2.1/' "$root/badcopy/Update.zip"
python3 - "$root/badsig/Update.zip.sig" <<'PY'
import sys
path = sys.argv[1]
text = open(path).read()
i = 10
open(path, 'w').write(text[:i] + ('B' if text[i] == 'A' else 'A') + text[i + 1:])
PY
rm "$root/nosig/Update.zip.sig"
python3 - "$root/badfile/trust_app.zip" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
data[40000] ^= 1
open(path, 'wb').write(data)
PY
# The app's digest dropped, the copy signed again by the right key: the
# signature holds, the digest is what is missing.
python3 - "$root/nodigest/Update.zip" <<'PY'
import sys
path = sys.argv[1]
lines = open(path, 'rb').read().split(b'\r\n')
out, section = [], None
for line in lines:
    if line.startswith(b'['):
        section = line
    if section == b'[trust_app.exe]' and line.startswith(b'Sha256='):
        continue
    out.append(line)
open(path, 'wb').write(b'\r\n'.join(out))
PY
sign_raw "$root/nodigest/Update.zip" >"$root/nodigest/Update.zip.sig"
chmod -R a+rX "$root"

export E2E_HTTP_PORT=$http_port E2E_HTTP_ROOT=$root E2E_HTTPS_PORT=$https_port
export E2E_HTTPS_UNTRUSTED_PORT=$untrusted_port E2E_TRUST_DIR=$work
export E2E_PUBLIC_KEY=$pub E2E_OTHER_PUBLIC_KEY=$other
"$@"
