#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the updater with the demo
# deployment under Wine, then shows what it did: the configuration it wrote
# into its application folder, its run log and its exit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RENEWKIT_BUILD_DIR:-$root/build/cross}
# Wine keeps per-user state under HOME; a bare CI environment may not set it.
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

state="$build/demo-session"
mkdir -p "$state"
stop_all() {
  if [ -f "$state/nginx.pid" ]; then kill "$(cat "$state/nginx.pid")" 2>/dev/null || true; rm -f "$state/nginx.pid"; fi
  "$root/tests/wine/session.sh" stop "$state"
}
trap stop_all EXIT

# The demo deployment's update server: its ListURL is http://127.0.0.1:18480/demo/renewkit.xml.
site="$root/resources/demo/site"
cat >"$state/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $state/nginx.master.pid;
error_log $state/nginx.error.log;
events { worker_connections 64; }
http {
  access_log $state/nginx.access.log;
  client_body_temp_path $state/nginx-body;
  proxy_temp_path $state/nginx-proxy;
  fastcgi_temp_path $state/nginx-fastcgi;
  uwsgi_temp_path $state/nginx-uwsgi;
  scgi_temp_path $state/nginx-scgi;
  server { listen 127.0.0.1:18480; root $site; }
}
CONF
/usr/sbin/nginx -c "$state/nginx.conf" -p "$state" &
echo $! >"$state/nginx.pid"
for _ in $(seq 50); do curl -fs -o /dev/null http://127.0.0.1:18480/demo/renewkit.xml && break; sleep 0.1; done
echo "demo: the update server on 127.0.0.1:18480 publishes:"
curl -fsS http://127.0.0.1:18480/demo/renewkit.xml

eval "$("$root/tests/wine/session.sh" start "$state" "$build/demo-prefix")"

app="$WINEPREFIX/drive_c/Mellowby/mbqb/RenewKitDemo"
echo "demo: starting renewkit.exe (demo deployment, no arguments)"
set +e
wine "$build/renewkit.exe"
code=$?
set -e
echo "demo: exit code $code"
echo "demo: application folder C:\\Mellowby\\mbqb\\RenewKitDemo\\ holds:"
ls -l "$app"
echo "--- renewkit.ini (GBK, CR LF, shown as UTF-8) ---"
iconv -f gbk -t utf-8 "$app/renewkit.ini" | tr -d '\r'
echo "--- inst.log ---"
iconv -f gbk -t utf-8 "$app/inst.log" 2>/dev/null | tr -d '\r' || cat "$app/inst.log"
