#!/usr/bin/env bash
# Starts or stops the HTTP servers the HTTP client's tests talk to, all on
# 127.0.0.1, everything under BUILD/http-servers. The odd server binds ports
# the system chooses and reports them; nginx and tinyproxy cannot, so they
# are given ports that were free a moment before, and are started again on
# fresh ones when another program took one meanwhile.
#   nginx      static files with ranges (www/data.bin, www/big.bin) and a
#              location /auth/ with Basic authentication (tester / secret);
#              the access log names each request's Range header
#   tinyproxy  a forward proxy that asks for credentials (proxyuser / proxypass)
#   nginx TLS  the same files over https with a self-signed certificate, and
#              once more on a port that asks for a client certificate
#   odd server tools/httptest/odd_http_server.py: credentials asked for,
#              and a redirect from 127.0.0.1 to 127.0.0.2 that asks for
#              credentials there (odd.log names each request)
# and a port that refuses every connection (the odd server holds it bound
# without listening, so no other program can take it). "start" writes BUILD/http-servers/info
# (name=value lines) for the tests.
#   http-servers.sh start BUILD_DIR
#   http-servers.sh stop BUILD_DIR
set -u
cmd=${1:?start|stop}
build=$(cd "${2:?build folder}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$build/http-servers"

stop_pid() { # pid file
  [ -f "$1" ] || return 0
  local pid
  pid=$(cat "$1" 2>/dev/null)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$1"
}

free_ports() { # count: ports free at this moment (released again)
  python3 - "$1" <<'PY'
import socket, sys
socks = []
for _ in range(int(sys.argv[1])):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
}

write_nginx_conf() { # web tls tlscert
  local web=$1 tls=$2 tlscert=$3
  cat >"$dir/nginx.conf" <<CONF
user $(id -un);
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/nginx-error.log;
events { worker_connections 64; }
http {
  log_format ranges '\$request_method \$uri "\$http_range" \$status';
  access_log $dir/access.log ranges;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$web;
    # A second loopback address for the requests through the proxy: some
    # clients send the proxy only the path, and tinyproxy then serves the
    # Host header's address unless it is its own.
    listen 127.0.0.2:$web;
    root $dir/www;
    location /auth/ {
      auth_basic "Printvane test";
      auth_basic_user_file $dir/htpasswd;
    }
  }
  server {
    listen 127.0.0.1:$tls ssl;
    ssl_certificate $dir/tls.crt;
    ssl_certificate_key $dir/tls.key;
    root $dir/www;
    # A secure resource that moved to plain http.
    location /tohttp/ {
      return 302 http://127.0.0.1:$web/data.bin;
    }
  }
  server {
    listen 127.0.0.1:$tlscert ssl;
    ssl_certificate $dir/tls.crt;
    ssl_certificate_key $dir/tls.key;
    ssl_client_certificate $dir/tls.crt;
    ssl_verify_client on;
    root $dir/www;
  }
}
CONF
}

# nginx binds before it leaves the foreground: a port taken meanwhile makes
# it fail with "Address already in use", and it is tried again on fresh ports.
# Sets web, tls and tlscert.
start_nginx() {
  local nginx_bin attempt
  nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
  for attempt in 1 2 3 4 5; do
    read -r web tls tlscert < <(free_ports 3)
    write_nginx_conf "$web" "$tls" "$tlscert"
    "$nginx_bin" -c "$dir/nginx.conf" -p "$dir" 2>"$dir/nginx-start.log" && return 0
    grep -q "Address already in use" "$dir/nginx-start.log" || break
  done
  cat "$dir/nginx-start.log" >&2
  return 1
}

# tinyproxy runs in the foreground as a process of ours (its id in
# tinyproxy.pid); it writes its own pid file (tinyproxy.bound) only once it
# listens, and ends at once when it cannot bind: then it is tried again on a
# fresh port. Sets proxy.
start_tinyproxy() {
  local attempt pid
  for attempt in 1 2 3 4 5; do
    read -r proxy < <(free_ports 1)
    cat >"$dir/tinyproxy.conf" <<CONF
Port $proxy
Listen 127.0.0.1
Timeout 30
LogFile "$dir/tinyproxy.log"
LogLevel Info
PidFile "$dir/tinyproxy.bound"
MaxClients 20
BasicAuth proxyuser proxypass
CONF
    rm -f "$dir/tinyproxy.bound"
    (setsid tinyproxy -d -c "$dir/tinyproxy.conf" >"$dir/tinyproxy-start.log" 2>&1 </dev/null &
     echo $! >"$dir/tinyproxy.pid")
    pid=$(cat "$dir/tinyproxy.pid")
    for _ in $(seq 1 100); do
      [ -s "$dir/tinyproxy.bound" ] && return 0
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    stop_pid "$dir/tinyproxy.pid"
    grep -q "Could not create listening sockets" "$dir/tinyproxy-start.log" || break
  done
  cat "$dir/tinyproxy-start.log" >&2
  return 1
}

wait_port() { # port
  for _ in $(seq 1 100); do
    python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', int(sys.argv[1])), 1)" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

case "$cmd" in
  start)
    for tool in nginx tinyproxy python3 openssl; do
      command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "http-servers: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
    done
    "$0" stop "$build"
    mkdir -p "$dir/www/auth" "$dir/tmp"
    # The test resource: byte i is (7 i + i / 251) mod 256.
    python3 - "$dir/www" <<'PY'
import os, sys
www = sys.argv[1]
data = bytes((i * 7 + i // 251) & 0xFF for i in range(100000))
for name in ("data.bin", "auth/data.bin"):
    with open(os.path.join(www, name), "wb") as f:
        f.write(data)
big = os.path.join(www, "big.bin")
if not os.path.exists(big) or os.path.getsize(big) != 16 << 20:
    with open(big, "wb") as f:
        f.write(os.urandom(16 << 20))
PY
    printf 'tester:{PLAIN}secret\n' >"$dir/htpasswd"
    if [ ! -s "$dir/tls.crt" ]; then
      openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=127.0.0.1 \
        -keyout "$dir/tls.key" -out "$dir/tls.crt" >/dev/null 2>&1 || { echo "http-servers: openssl failed" >&2; exit 1; }
    fi
    : >"$dir/access.log"
    start_nginx || exit 1
    start_tinyproxy || { "$0" stop "$build"; exit 1; }
    rm -f "$dir/odd.port"
    : >"$dir/odd.log"
    (setsid python3 "$here/tools/httptest/odd_http_server.py" "$dir/odd.port" "$dir/odd.log" >/dev/null 2>&1 </dev/null & echo $! >"$dir/odd.pid")
    for _ in $(seq 1 50); do [ -s "$dir/odd.port" ] && break; sleep 0.1; done
    read -r odd closed < <(tr '\n' ' ' <"$dir/odd.port" 2>/dev/null)
    for p in "$web" "$proxy" "$odd" "$tls" "$tlscert"; do
      wait_port "$p" || { echo "http-servers: nothing answers on port $p" >&2; "$0" stop "$build"; exit 1; }
    done
    cat >"$dir/info" <<INFO
web=$web
proxy=$proxy
odd=$odd
tls=$tls
tlscert=$tlscert
closed=$closed
accesslog=$dir/access.log
oddlog=$dir/odd.log
INFO
    echo "http servers: web $web, tls $tls, proxy $proxy, odd $odd (closed port $closed)"
    ;;
  stop)
    stop_pid "$dir/nginx.pid"
    stop_pid "$dir/tinyproxy.pid"
    stop_pid "$dir/odd.pid"
    rm -f "$dir/info"
    ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
