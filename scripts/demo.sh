#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the updater with the demo
# deployment under Wine, then shows what it did: the configuration it wrote
# into its application folder, its run log and its exit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RENEWKIT_BUILD_DIR:-$root/build/cross}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

state="$build/demo-session"
trap '"$root/tests/wine/session.sh" stop "$state"' EXIT
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
