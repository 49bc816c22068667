#!/usr/bin/env bash
# Screenshots the picture preview under the test session's Xvfb and Wine:
#   tests/ui/preview.sh OUT.png  (with DISPLAY and WINEPREFIX of a started session)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-preview.png}
wine "$root/build/cross/tests/ui/rk_ui_preview.exe" &
pid=$!
sleep 3
import -window root -crop 700x400+0+0 "$out"
wait $pid
