#!/usr/bin/env bash
# The download pass on loopback nginx: a release of 1,000 files of 64 KiB packed
# by renewkit-pack (so the zipped variants are there, as in a real deployment),
# fetched by runDownloadPass with threadcount 8 (under Wine), and the same files
# by aria2c -j8 -x8 -s8 -i. Each runs RK_BENCH_RUNS times (default 5); prints the
# median seconds and MB/s (10^6 bytes of the files) of each and, last, the
# RenewKit/aria2c ratio.
#   bench/pass/run.sh [BUILD_DIR]
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build/cross}
if [ ! -f "$build/bench/pass/rk_pass_bench.exe" ] || [ ! -f "$build/tools/renewkit-pack.exe" ]; then
  "$repo/scripts/build.sh" >/dev/null
fi
build=$(cd "$build" && pwd)
exe=$build/bench/pass/rk_pass_bench.exe
runs=${RK_BENCH_RUNS:-5}
export WINEPREFIX=${RENEWKIT_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY

work=$(mktemp -d /tmp/rk-pass-bench.XXXXXX)
chmod 755 "$work" # nginx workers run as nobody
state=$work/state
cleanup() {
  "$repo/tests/servers/servers.sh" stop "$state" || true
  rm -rf "$work"
}
trap cleanup EXIT
"$repo/tests/servers/servers.sh" start "$state" nginx >/dev/null
port=$(cat "$state/nginx.port")
data=$state/data
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

mkdir -p "$work/release"
python3 - "$work/release" <<'PY'
import os, sys
for i in range(1000):
    folder = os.path.join(sys.argv[1], "d%02d" % (i % 10))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%04d.bin" % i), "wb") as f:
        f.write(os.urandom(65536))
PY
wine "$build/tools/renewkit-pack.exe" "$(winpath "$work/release")" "$(winpath "$data/pub")" --list update.xml >/dev/null
chmod -R a+rX "$data"
bytes=$((1000 * 65536))
list_url=http://127.0.0.1:$port/pub/update.xml
mkdir -p "$work/app"
printf '[RenewKit]\r\nthreadcount=8\r\nfilethread=8\r\n' >"$work/app/renewkit.ini"
(cd "$work/release" && find . -type f | sed 's#^\./##') >"$work/files"
while read -r f; do
  printf 'http://127.0.0.1:%s/pub/%s\n  out=%s\n' "$port" "$f" "$f"
done <"$work/files" >"$work/aria.list"

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
check() { # folder suffix
  while read -r f; do cmp -s "$work/release/$f" "$1/$f$2" || return 1; done <"$work/files"
}
run_once() { # tool
  rm -rf "$work/out" && mkdir -p "$work/out"
  sync
  local out t0 t1
  if [ "$1" = RenewKit ]; then
    out=$(wine "$exe" "$(winpath "$work/app")\\" "$(winpath "$data/pub/update.xml")" "$list_url" "$(winpath "$work/out")" 2>&1 | tr -d '\r') ||
      { echo "bench: $out" >&2; return 1; }
    check "$work/out" _ || { echo "bench: RenewKit produced a wrong file" >&2; return 1; }
    echo "$out" | awk '/^seconds/ {print $2}'
  else
    t0=$(now)
    aria2c -q -j8 -x8 -s8 --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -i "$work/aria.list"
    t1=$(now)
    check "$work/out" "" || { echo "bench: aria2c produced a wrong file" >&2; return 1; }
    calc "$t1 - $t0"; echo
  fi
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

wine "$exe" >/dev/null 2>&1 || true # brings the prefix and its server up before timing
declare -A rate
printf '%-28s %-9s %10s %10s   %s\n' case tool "median s" "MB/s" "seconds per run"
for tool in RenewKit aria2c; do
  times=()
  for _ in $(seq "$runs"); do times+=("$(run_once "$tool")"); done
  m=$(printf '%s\n' "${times[@]}" | median)
  rate[$tool]=$(calc "$bytes / 1000000 / $m")
  printf '%-28s %-9s %10.3f %10.1f   %s\n' "1000 x 64 KiB, packed" "$tool" "$m" "${rate[$tool]}" \
    "$(printf '%.3f ' "${times[@]}")"
done
printf 'RenewKit/aria2c ratio %.2f\n' "$(calc "${rate[RenewKit]} / ${rate[aria2c]}")"
