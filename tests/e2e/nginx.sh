# nginx beside an end-to-end run, for the wrapper scripts in this folder, which
# source this file: a fresh work directory with the document root, free
# loopback ports, a configuration generated around the caller's server blocks,
# a start bounded in time, and a stop by PID.
#
#   source "$(dirname "${BASH_SOURCE[0]}")/nginx.sh"
#   nginx_work_dir e2e-name        # sets work and root (work/www)
#   trap nginx_stop EXIT           # stops nginx, removes the work directory
#   servers() { ... }              # prints the server blocks for the ports $1 $2 ...
#   nginx_start e2e-name 2 servers # sets nginx_ports to the ports it listens on
#
# nginx ends by itself after E2E_NGINX_LIFETIME seconds (default 900) whatever
# happens.

NGINX=$(command -v nginx || echo /usr/sbin/nginx)
# nginx_pid is the PID of "timeout", which passes QUIT on to nginx's master;
# the master's own PID is in nginx.pid.
nginx_pid=
nginx_ports=()

nginx_work_dir() {  # NAME
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  root=$work/www
  mkdir -p "$root" "$work/temp"
  # nginx's workers may run as another user: they need to read the root.
  chmod 755 "$work" "$root"
}

nginx_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

nginx_listening() {  # PORT
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

nginx_all_listening() {
  local port
  for port in "${nginx_ports[@]}"; do nginx_listening "$port" || return 1; done
}

nginx_write_config() {  # SERVERS-FUNCTION, called with the ports in nginx_ports
  {
    cat <<CONF
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
CONF
    "$1" "${nginx_ports[@]}"
    echo "}"
  } >"$work/nginx.conf"
}

nginx_start() {  # WHO PORT-COUNT SERVERS-FUNCTION
  local who=$1 count=$2 servers=$3 attempt i
  # A port taken between the probe and nginx's bind: try other ones.
  for attempt in 1 2 3 4 5; do
    nginx_ports=()
    for ((i = 0; i < count; i++)); do nginx_ports+=("$(nginx_free_port)"); done
    nginx_write_config "$servers"
    timeout -s QUIT "${E2E_NGINX_LIFETIME:-900}" "$NGINX" -p "$work" -c "$work/nginx.conf" 2>>"$work/start.log" &
    nginx_pid=$!
    for _ in $(seq 50); do
      if nginx_all_listening; then break; fi
      kill -0 "$nginx_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$nginx_pid" 2>/dev/null; then return 0; fi
    nginx_pid=
  done
  echo "$who: nginx did not start" >&2
  cat "$work/start.log" "$work/error.log" >&2 2>/dev/null || true
  exit 1
}

nginx_stop() {
  if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
    local master
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
