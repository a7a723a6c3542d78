#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (as root),
# and the zh_CN.UTF-8 locale that Wine needs for GBK file names. Idempotent.
set -euo pipefail

PACKAGES=(
  cmake ninja-build python3 curl
  g++-mingw-w64-x86-64-posix
  googletest
  wine wine64
  locales
  xvfb x11-apps x11-utils imagemagick fonts-wqy-microhei
  nginx-light
  g++ openssl libssl-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # With the recommended packages: Wine needs several of them (gnutls for TLS,
  # its own fonts, the X libraries of its display driver).
  apt-get install -y -q "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
