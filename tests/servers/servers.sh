#!/usr/bin/env bash
# Starts and stops the servers of the download tests, all on 127.0.0.1 with ports
# the system picked as free: nginx over the test data, the fault server over the
# same data, two tinyproxy instances (open, and with basic authentication), squid
# asking for Digest authentication, and a PAC script (data/proxy.pac) that sends
# requests for "localhost" through the open tinyproxy and the rest direct.
# nginx also serves the data over HTTPS with a certificate for "localhost" from
# a test authority of its own (tls/ca.pem).
#   servers.sh start STATE_DIR [nginx]   ("nginx": only nginx, for the benchmark)
#   servers.sh stop STATE_DIR
# STATE_DIR receives data/, <name>.port, <name>.pid and each server's own files.
# Every process is stopped by its own pid; a watchdog stops them after
# RK_SERVERS_MAX_SECONDS (default 1800) should nobody call stop.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?usage: servers.sh start|stop STATE_DIR}
state=${2:?usage: servers.sh start|stop STATE_DIR}
only=${3:-all}
python=${PYTHON:-python3}
max_seconds=${RK_SERVERS_MAX_SECONDS:-1800}
names=(watchdog fault proxy proxy_auth proxy_digest nginx)

# Running and not a zombie waiting for its reaper (the shell that started it is gone).
alive() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

stop_pid() {
  local file=$1
  [ -f "$file" ] || return 0
  local pid
  pid=$(cat "$file")
  if [ -n "$pid" ] && alive "$pid"; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do alive "$pid" || break; sleep 0.05; done
    if alive "$pid"; then kill -9 "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$file"
}

# A port below the kernel's range for outgoing connections and bind(0), so no
# client socket or self-chosen server port can take it before our server binds.
free_port() {
  "$python" -c 'import random, socket
for _ in range(500):
    port = random.randrange(20000, 32000)
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", port))
    except OSError:
        continue
    finally:
        s.close()
    print(port)
    break'
}

wait_port() { # name port
  for _ in $(seq 100); do
    if "$python" -c "import socket,sys; socket.create_connection(('127.0.0.1', $2), 0.2).close()" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "servers: $1 did not start on port $2" >&2
  return 1
}

make_data() {
  local data=$state/data
  mkdir -p "$data"
  "$python" - "$data" <<'PY'
import os, random, sys
data = sys.argv[1]
rng = random.Random(20240611)
sizes = {"one.bin": 1, "exact.bin": 51200, "small.bin": 100000, "mid.bin": 300000,
         "ten.bin": 10000000, "a b.bin": 200000, "empty.bin": 0, "s1234.bin": 1234,
         "a {b}.bin": 150000}
for name, size in sizes.items():
    path = os.path.join(data, name)
    if not os.path.exists(path) or os.path.getsize(path) != size:
        with open(path, "wb") as f:
            f.write(rng.randbytes(size))
PY
  chmod -R a+rX "$state"
}

# A test certificate authority and a certificate for "localhost" signed by it
# (tls/ca.pem, tls/localhost.pem, tls/localhost.key): trusted by nobody until a
# test imports the authority into its Wine prefix.
make_tls() {
  local tls=$state/tls
  mkdir -p "$tls"
  [ -s "$tls/localhost.pem" ] && [ -s "$tls/ca.pem" ] && return 0
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 \
    -subj "/CN=RenewKit Test Authority" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$tls/ca.key" -out "$tls/ca.pem" 2>/dev/null
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=localhost" \
    -keyout "$tls/localhost.key" -out "$tls/localhost.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$tls/ext.cnf"
  openssl x509 -req -in "$tls/localhost.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
    -days 3650 -extfile "$tls/ext.cnf" -out "$tls/localhost.pem" 2>/dev/null
  chmod a+r "$tls"/*
}

start_nginx() {
  local dir=$state/nginx port tls_port
  port=$(free_port)
  tls_port=$(free_port)
  make_tls
  mkdir -p "$dir/temp"
  # Tests read the access log for their own requests: a run starts with an empty one.
  rm -f "$dir/access.log" "$dir/error.log"
  local user_line="" rate_line=""
  # Per connection, as a shaped network limits each TCP stream (the benchmark).
  [ -n "${RK_NGINX_LIMIT_RATE:-}" ] && rate_line="limit_rate $RK_NGINX_LIMIT_RATE;"
  [ "$(id -u)" = 0 ] && user_line="user nobody nogroup;"
  cat >"$dir/nginx.conf" <<CONF
$user_line
worker_processes 2;
daemon off;
pid $dir/nginx.pid.master;
error_log $dir/error.log warn;
events { worker_connections 512; }
http {
  # The combined format, then the connection's serial number and the request's
  # number on it: which requests shared a TCP connection.
  log_format withconn '\$remote_addr - \$remote_user [\$time_local] "\$request" \$status \$body_bytes_sent '
                      '"\$http_referer" "\$http_user_agent" \$connection \$connection_requests';
  access_log $dir/access.log withconn;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$port;
    root $state/data;
    $rate_line
  }
  server {
    listen 127.0.0.1:$tls_port ssl;
    ssl_certificate $state/tls/localhost.pem;
    ssl_certificate_key $state/tls/localhost.key;
    root $state/data;
  }
}
CONF
  nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" >"$dir/stdout.log" 2>&1 9>&- &
  echo $! >"$state/nginx.pid"
  wait_port nginx "$port"
  wait_port nginx_tls "$tls_port"
  echo "$port" >"$state/nginx.port"
  echo "$tls_port" >"$state/nginx_tls.port"
}

start_proxy() { # name [user pass]
  local name=$1 dir=$state/$1 port
  port=$(free_port)
  mkdir -p "$dir"
  chmod 777 "$dir"
  : >"$dir/tinyproxy.log"
  chmod 666 "$dir/tinyproxy.log"
  {
    if [ "$(id -u)" = 0 ]; then echo "User nobody"; echo "Group nogroup"; fi
    echo "Port $port"
    echo "Listen 127.0.0.1"
    echo "Timeout 60"
    echo "MaxClients 100"
    echo "Allow 127.0.0.1"
    echo "LogLevel Info"
    echo "LogFile \"$dir/tinyproxy.log\""
    echo "DisableViaHeader Yes"
    if [ $# -ge 3 ]; then echo "BasicAuth $2 $3"; fi
  } >"$dir/tinyproxy.conf"
  tinyproxy -d -c "$dir/tinyproxy.conf" >"$dir/stdout.log" 2>&1 9>&- &
  echo $! >"$state/$name.pid"
  wait_port "$name" "$port"
  echo "$port" >"$state/$name.port"
}

start_squid() { # name user pass
  local name=$1 dir=$state/$1 port
  port=$(free_port)
  mkdir -p "$dir"
  chmod 777 "$dir"
  printf '%s:%s\n' "$2" "$3" >"$dir/passwd"
  chmod 644 "$dir/passwd"
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$port
pid_filename $dir/squid.pid
access_log stdio:$dir/access.log
cache_log $dir/cache.log
cache_store_log none
netdb_filename none
coredump_dir $dir
cache deny all
strip_query_terms off
cache_mem 8 MB
shutdown_lifetime 0 seconds
auth_param digest program /usr/lib/squid/digest_file_auth $dir/passwd
auth_param digest realm renewkit
auth_param digest children 2 startup=1 idle=1
acl authed proxy_auth REQUIRED
http_access allow localhost authed
http_access deny all
CONF
  squid -N -f "$dir/squid.conf" >"$dir/stdout.log" 2>&1 9>&- &
  echo $! >"$state/$name.pid"
  wait_port "$name" "$port"
  echo "$port" >"$state/$name.port"
}

write_pac() {
  cat >"$state/data/proxy.pac" <<PAC
function FindProxyForURL(url, host) {
  if (host == "localhost") return "PROXY 127.0.0.1:$(cat "$state/proxy.port")";
  return "DIRECT";
}
PAC
  chmod a+r "$state/data/proxy.pac"
}

start_fault() {
  local dir=$state/fault
  mkdir -p "$dir"
  rm -f "$state/fault.port"
  : >"$dir/requests.log"
  "$python" "$here/fault_server.py" --root "$state/data" --port-file "$state/fault.port" \
    --log "$dir/requests.log" --max-seconds "$max_seconds" >"$dir/stdout.log" 2>&1 9>&- &
  echo $! >"$state/fault.pid"
  for _ in $(seq 100); do [ -s "$state/fault.port" ] && break; sleep 0.1; done
  wait_port fault "$(cat "$state/fault.port")"
}

start_watchdog() {
  local pids=()
  for name in "${names[@]}"; do
    [ "$name" = watchdog ] || { [ -f "$state/$name.pid" ] && pids+=("$(cat "$state/$name.pid")"); } || true
  done
  # Detached from this script's output so that ctest does not wait for it; one
  # process, so stopping it by its pid leaves nothing behind.
  nohup "$python" -c 'import os, sys, time
deadline = time.time() + float(sys.argv[1])
while time.time() < deadline:
    time.sleep(1)
for pid in sys.argv[2:]:
    try:
        os.kill(int(pid), 15)
    except OSError:
        pass' "$max_seconds" "${pids[@]}" >/dev/null 2>&1 9>&- &
  echo $! >"$state/watchdog.pid"
}

stop_all() {
  for name in "${names[@]}"; do stop_pid "$state/$name.pid"; done
  rm -f "$state"/*.port
}

case $cmd in
start)
  mkdir -p "$state"
  # Test programs start their servers at the same time: one at a time chooses
  # ports and brings its servers up, so no two pick the same port.
  exec 9>"${TMPDIR:-/tmp}/renewkit-servers.lock"
  flock 9
  stop_all
  trap 'stop_all' ERR
  make_data
  start_nginx
  if [ "$only" != nginx ]; then
    start_fault
    start_proxy proxy
    start_proxy proxy_auth rkuser rkpass
    start_squid proxy_digest rkuser rkpass
    write_pac
  fi
  start_watchdog
  trap - ERR
  exec 9>&-
  echo "servers: started in $state"
  ;;
stop)
  stop_all
  ;;
*)
  echo "usage: servers.sh start|stop STATE_DIR [nginx]" >&2
  exit 2
  ;;
esac
