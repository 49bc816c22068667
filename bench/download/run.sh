#!/usr/bin/env bash
# Download throughput on loopback nginx: one 256 MiB file and 1,000 files of
# 64 KiB, fetched by RenewKit's engine (8 threads per file, 8 files at a time,
# under Wine), by aria2c -x8 -s8 (-j8 for the many files) and by curl. Each tool
# runs RK_BENCH_RUNS times (default 5); the median MB/s (10^6 bytes) is printed
# and, last, the RenewKit/aria2c ratio (geometric mean of the two cases).
#   bench/download/run.sh [BUILD_DIR]
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-}
if [ -z "$build" ]; then
  for candidate in "$repo/build/cross" "$repo/build/h-dl"; do
    [ -f "$candidate/bench/download/rk_download_bench.exe" ] && { build=$candidate; break; }
  done
fi
if [ -z "$build" ]; then
  "$repo/scripts/build.sh" >/dev/null
  build=$repo/build/cross
fi
[ -d "$build" ] || { echo "bench: no build folder" >&2; exit 2; }
build=$(cd "$build" && pwd)
exe=$build/bench/download/rk_download_bench.exe
[ -f "$exe" ] || { echo "bench: build rk_download_bench first (no $exe)" >&2; exit 2; }
runs=${RK_BENCH_RUNS:-5}
export WINEPREFIX=${RENEWKIT_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY

work=$(mktemp -d /tmp/rk-bench.XXXXXX)
chmod 755 "$work" # nginx workers run as nobody
state=$work/state
cleanup() {
  "$repo/tests/servers/servers.sh" stop "$state" || true
  rm -rf "$work"
}
trap cleanup EXIT
"$repo/tests/servers/servers.sh" start "$state" nginx >/dev/null
port=$(cat "$state/nginx.port")
base=http://127.0.0.1:$port
data=$state/data

head -c $((256 * 1024 * 1024)) /dev/urandom >"$data/big.bin"
mkdir -p "$data/many"
python3 - "$data/many" <<'PY'
import os, sys
for i in range(1000):
    with open(os.path.join(sys.argv[1], "f%04d.bin" % i), "wb") as f:
        f.write(os.urandom(65536))
PY
chmod -R a+rX "$data"
big_bytes=$((256 * 1024 * 1024))
many_bytes=$((1000 * 65536))

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
printf '%s\tbig.bin\n' "$base/big.bin" >"$work/big.list"
: >"$work/many.list"
: >"$work/many.aria"
: >"$work/many.curl"
for i in $(seq -f %04g 0 999); do
  printf '%s\tf%s.bin\n' "$base/many/f$i.bin" "$i" >>"$work/many.list"
  printf '%s\n  out=f%s.bin\n' "$base/many/f$i.bin" "$i" >>"$work/many.aria"
  printf 'url = "%s"\noutput = "%s/out/f%s.bin"\n' "$base/many/f$i.bin" "$work" "$i" >>"$work/many.curl"
done

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
fresh_out() { rm -rf "$work/out"; mkdir -p "$work/out"; }
check() { # case
  if [ "$1" = big ]; then
    cmp -s "$work/out/big.bin" "$data/big.bin"
  else
    for f in "$data"/many/*.bin; do cmp -s "$f" "$work/out/$(basename "$f")" || return 1; done
  fi
}

# Prints the seconds of one run of tool for case; fails when a file came out wrong.
run_once() { # tool case
  fresh_out
  sync
  local t0 t1 out
  case $1 in
  RenewKit)
    out=$(wine "$exe" "$(winpath "$work/$2.list")" "$(winpath "$work/out")" 8 8 2>&1 | tr -d "\r") || { echo "bench: $out" >&2; return 1; }
    echo "$out" | awk '/^seconds/ {print $2}'
    ;;
  aria2c)
    t0=$(now)
    if [ "$2" = big ]; then
      aria2c -q -x8 -s8 --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -o big.bin "$base/big.bin"
    else
      aria2c -q -x8 -s8 -j8 --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -i "$work/many.aria"
    fi
    t1=$(now)
    calc "$t1 - $t0"; echo
    ;;
  curl)
    t0=$(now)
    if [ "$2" = big ]; then
      curl -s -o "$work/out/big.bin" "$base/big.bin"
    else
      curl -s -K "$work/many.curl"
    fi
    t1=$(now)
    calc "$t1 - $t0"; echo
    ;;
  esac
  check "$2" || { echo "bench: $1 produced a wrong file in case $2" >&2; return 1; }
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

wine "$exe" >/dev/null 2>&1 || true # brings the prefix and its server up before timing
declare -A rate
printf '%-22s %-9s %12s   %s\n' case tool "median MB/s" "seconds per run"
for case in big many; do
  bytes=$big_bytes label="1 x 256 MiB"
  [ "$case" = many ] && bytes=$many_bytes label="1000 x 64 KiB"
  for tool in RenewKit aria2c curl; do
    times=()
    for _ in $(seq "$runs"); do times+=("$(run_once "$tool" "$case")"); done
    m=$(printf '%s\n' "${times[@]}" | median)
    rate[$case.$tool]=$(calc "$bytes / 1000000 / $m")
    printf '%-22s %-9s %12.1f   %s\n' "$label" "$tool" "${rate[$case.$tool]}" "$(printf '%.3f ' "${times[@]}")"
  done
done
big_ratio=$(calc "${rate[big.RenewKit]} / ${rate[big.aria2c]}")
many_ratio=$(calc "${rate[many.RenewKit]} / ${rate[many.aria2c]}")
printf 'RenewKit/aria2c 1 x 256 MiB %.2f, 1000 x 64 KiB %.2f\n' "$big_ratio" "$many_ratio"
printf 'RenewKit/aria2c ratio %.2f\n' "$(calc "sqrt($big_ratio * $many_ratio)")"
