#!/usr/bin/env bash
# Runs a command beside nginx: a generated configuration, a free loopback port
# and a fresh document root, passed to the command as E2E_HTTP_PORT and
# E2E_HTTP_ROOT. Files under /slow/ are sent at 32 KiB/s. nginx is stopped by
# its PID when the command ends, and ends by itself after E2E_NGINX_LIFETIME
# seconds (default 900) whatever happens.
#   with_nginx.sh <command> [arguments...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/nginx.sh"

nginx_work_dir e2e-nginx
trap nginx_stop EXIT

server_block() {  # PORT
  cat <<CONF
  server {
    listen 127.0.0.1:$1;
    root $root;
    # Slow downloads, for tests that act while a file is on its way.
    location /slow/ { limit_rate 32k; }
  }
CONF
}
nginx_start with_nginx 1 server_block

export E2E_HTTP_PORT=${nginx_ports[0]} E2E_HTTP_ROOT=$root
"$@"
