#!/usr/bin/env bash
# The main job: sets up what is missing, builds, and updates a small demo
# application from version 1 to version 2 under Wine. Both versions are packed
# with renewkit-pack and version 2 is served by nginx on 127.0.0.1; version 1 is
# installed, then the test host (standing in for the host application) starts
# the updater silently. Prints the stages the host saw, the run log, the files
# replaced, the exit code and the version the application then reports. Stops
# everything it started, by pid.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RENEWKIT_BUILD_DIR:-$root/build/cross}
# Wine keeps per-user state under HOME; a bare CI environment may not set it.
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

work="$build/demo-run"
state="$work/session"
rm -rf "$work"
mkdir -p "$state" "$work/site"
stop_all() {
  if [ -f "$work/nginx.pid" ]; then
    kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -f "$work/nginx.pid"
  fi
  "$root/tests/wine/session.sh" stop "$state"
}
trap stop_all EXIT

win() { echo "Z:$(echo "$1" | tr / '\\')"; }

# The two versions of the demo application, as its vendor builds them.
rel="$work/releases"
for v in 1 2; do
  mkdir -p "$rel/v$v/docs" "$rel/v$v/data"
  cp "$build/demo/v$v/demo.exe" "$build/demo/v$v/plugin.dll" "$rel/v$v/"
  printf 'RenewKit demo, version %s.\r\nSee https://example.com/renewkit-demo for more.\r\n' "$v" >"$rel/v$v/docs/readme.txt"
  printf '[demo]\r\ncolour=blue\r\n' >"$rel/v$v/data/settings.ini"
done
printf 'What is new in version 2: a faster start.\r\n' >"$rel/v2/docs/whatsnew.txt"
mkdir -p "$rel/v2/tasks"
cat >"$rel/v2/tasks/setup.xml" <<'XML'
<?xml version="1.0"?>
<tasks>
  <path name="{app}\cache"/>
  <ini file="{app}\data\settings.ini" app="demo" key="updated" value="2"/>
  <shortcut file="{app}\demo.exe" shortcut="{app}\Demo application.lnk"/>
</tasks>
XML

state_env=$("$root/tests/wine/session.sh" start "$state" "$work/prefix")
eval "$state_env"
pack="$build/tools/renewkit-pack.exe"
wine "$pack" "$(win "$rel/v1")" "$(win "$work/site/v1")" --list renewkit.xml >/dev/null
wine "$pack" "$(win "$rel/v2")" "$(win "$work/site/demo")" --list renewkit.xml \
  --action 'plugin.dll=reg' --action 'tasks\setup.xml=run' \
  --description 'Version 2\nA faster start.' >/dev/null
chmod -R a+rX "$work/site"

# The update server.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
user_line=""
[ "$(id -u)" = 0 ] && user_line="user nobody nogroup;"
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $work/nginx/nginx.master.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $work/site; }
}
CONF
chmod a+rx "$work" "$build"
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
echo $! >"$work/nginx.pid"
for _ in $(seq 50); do curl -fs -o /dev/null "http://127.0.0.1:$port/demo/renewkit.xml" && break; sleep 0.1; done
echo "demo: version 2 is published on http://127.0.0.1:$port/demo/renewkit.xml"

# The vendor's deployment: the demo configuration with this server's address.
# Its texts in English: the run log is written in the system's ANSI code page.
sed -e "s#^ListURL=.*#ListURL=http://127.0.0.1:$port/demo/renewkit.xml#" -e '/^Langage=/d' \
  "$root/resources/config/demo.ini" >"$work/deploy.ini"
wine "$build/tools/renewkit-stamp.exe" "$(win "$build/renewkit.exe")" "$(win "$work/deploy.ini")" \
  "$(win "$work/renewkit.exe")" >/dev/null

# Version 1, installed.
app="$WINEPREFIX/drive_c/Mellowby/mbqb/RenewKitDemo"
mkdir -p "$app"
cp -r "$rel/v1/." "$app/"
cp "$work/site/v1/renewkit.xml" "$app/renewkit.xml"
fingerprint() { (cd "$app" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
fingerprint >"$work/before.md5"
echo "demo: installed version 1 in C:\\Mellowby\\mbqb\\RenewKitDemo\\: $(wine "$app/demo.exe" --version | tr -d '\r')"

echo "demo: the host starts renewkit.exe silence <its window>"
set +e
wine "$build/tools/renewkit-testhost.exe" --updater "$(win "$work/renewkit.exe")" \
  --record "$(win "$work/host-record.jsonl")" --needmsg 1974 -- silence
code=$?
set -e

python3 - "$work/host-record.jsonl" <<'PY'
import json, sys
names = ["UpdateNone", "UpdateCheckRemote", "UpdateCheckRemoteError", "UpdateCheckRemoteOk", "UpdateDownload",
         "UpdateDownloadError", "UpdateDownloadOk", "UpdateCheckLocal", "UpdateCheckLocalError",
         "UpdateCheckLocalOk", "UpdateCopy", "UpdateCopyError", "UpdateCopyOk", "UpdateEnd"]
print("demo: stages the host saw:")
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    if e.get("msg") == 1974:
        n = e["wparam"]
        print(f"  {n:2d} {names[n] if n < len(names) else '?'} (files: {e['lparam']})")
PY
echo "demo: the run log (inst.log):"
iconv -f gbk -t utf-8 "$app/inst.log" 2>/dev/null | tr -d '\r' | sed 's/^/  /' || sed 's/^/  /' "$app/inst.log"
echo "demo: files replaced or added:"
fingerprint >"$work/after.md5"
diff "$work/before.md5" "$work/after.md5" | sed -n 's/^> [0-9a-f]*  \.\//  /p' | grep -v -e inst.log -e renewkit.ini || true
echo "demo: exit code $code (the number of files updated)"
echo "demo: the application now reports: $(wine "$app/demo.exe" --version | tr -d '\r')"
