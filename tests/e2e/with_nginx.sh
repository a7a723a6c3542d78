#!/usr/bin/env bash
# Runs a command beside nginx: a generated configuration, a free loopback port
# and a fresh document root, passed to the command as E2E_HTTP_PORT and
# E2E_HTTP_ROOT. Files under /slow/ are sent at 32 KiB/s. nginx is stopped by its PID when the command ends, and ends
# by itself after E2E_NGINX_LIFETIME seconds (default 900) whatever happens.
#   with_nginx.sh <command> [arguments...]
set -euo pipefail

NGINX=$(command -v nginx || echo /usr/sbin/nginx)
work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-nginx.XXXXXX")
root=$work/www
mkdir -p "$root" "$work/temp"
# nginx's workers may run as another user: they need to read the root.
chmod 755 "$work" "$root"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

write_config() {
  cat > "$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 64; }
http {
  access_log $work/access.log;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$1;
    root $root;
    # Slow downloads, for tests that act while a file is on its way.
    location /slow/ { limit_rate 32k; }
  }
}
CONF
}

# nginx_pid is the PID of "timeout", which passes QUIT on to nginx's master;
# the master's own PID is in nginx.pid.
nginx_pid=
stop_nginx() {
  if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
    master=$(cat "$work/nginx.pid" 2>/dev/null || true)
    kill -QUIT "$nginx_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$nginx_pid" 2>/dev/null; then
      [ -z "$master" ] || kill -KILL "$master" 2>/dev/null || true
      kill -KILL "$nginx_pid" 2>/dev/null || true
    fi
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop_nginx EXIT

# A port taken between the probe and nginx's bind: try another.
for attempt in 1 2 3 4 5; do
  port=$(free_port)
  write_config "$port"
  timeout -s QUIT "${E2E_NGINX_LIFETIME:-900}" "$NGINX" -p "$work" -c "$work/nginx.conf" 2>>"$work/start.log" &
  nginx_pid=$!
  for _ in $(seq 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$nginx_pid" 2>/dev/null; then break; fi
  nginx_pid=
  [ "$attempt" -lt 5 ] || { echo "with_nginx: nginx did not start" >&2; cat "$work/start.log" "$work/error.log" >&2 2>/dev/null; exit 1; }
done

export E2E_HTTP_PORT=$port E2E_HTTP_ROOT=$root
"$@"
