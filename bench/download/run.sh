#!/usr/bin/env bash
# Download throughput of RenewKit's engine (8 threads per file, 8 files at a
# time, under Wine) beside aria2c and curl, on the same files in the same run:
#   loopback: nginx on 127.0.0.1, one 256 MiB file and 1,000 files of 64 KiB
#             (aria2c -x8 -s8, -j8 for the many files);
#   shaped:   nginx with limit_rate 4 MiB/s per connection behind a relay that
#             delays every request by 30 ms, one 64 MiB file and 300 files of
#             64 KiB (aria2c -x8 -s8 -k1M, -j8 for the many files).
# Each tool runs RK_BENCH_RUNS times (default 5); the median MB/s (10^6 bytes)
# is printed with the physical limit of the shaped cases and RenewKit's peak
# working set, and, last, "RenewKit/aria2c ratio X": the geometric mean over the
# four cases. RK_BENCH_CASES limits the cases (e.g. "shaped-big shaped-many").
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
cases=${RK_BENCH_CASES:-loop-big loop-many shaped-big shaped-many}
rate_mib=4
delay_ms=30
connections=8
export WINEPREFIX=${RENEWKIT_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY

work=$(mktemp -d /tmp/rk-bench.XXXXXX)
chmod 755 "$work" # nginx workers run as nobody
relay_pid=""
cleanup() {
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
  "$repo/tests/servers/servers.sh" stop "$work/loop" || true
  "$repo/tests/servers/servers.sh" stop "$work/shaped" || true
  rm -rf "$work"
}
trap cleanup EXIT
"$repo/tests/servers/servers.sh" start "$work/loop" nginx >/dev/null
RK_NGINX_LIMIT_RATE=${rate_mib}m "$repo/tests/servers/servers.sh" start "$work/shaped" nginx >/dev/null
python3 "$repo/bench/download/delay_proxy.py" --target "$(cat "$work/shaped/nginx.port")" --delay-ms "$delay_ms" \
  --port-file "$work/relay.port" &
relay_pid=$!
for _ in $(seq 100); do [ -s "$work/relay.port" ] && break; sleep 0.05; done
declare -A base=([loop]=http://127.0.0.1:$(cat "$work/loop/nginx.port") [shaped]=http://127.0.0.1:$(cat "$work/relay.port"))

# case -> network, big file size or file count
declare -A big_mib=([loop]=256 [shaped]=64)
declare -A many_count=([loop]=1000 [shaped]=300)
for net in loop shaped; do
  data=$work/$net/data
  head -c $((${big_mib[$net]} * 1024 * 1024)) /dev/urandom >"$data/big.bin"
  mkdir -p "$data/many"
  python3 - "$data/many" "${many_count[$net]}" <<'PY'
import os, sys
for i in range(int(sys.argv[2])):
    with open(os.path.join(sys.argv[1], "f%04d.bin" % i), "wb") as f:
        f.write(os.urandom(65536))
PY
  chmod -R a+rX "$data"
  url=${base[$net]}
  printf '%s\tbig.bin\n' "$url/big.bin" >"$work/$net-big.list"
  : >"$work/$net-many.list"
  : >"$work/$net-many.aria"
  : >"$work/$net-many.curl"
  for i in $(seq -f %04g 0 $((${many_count[$net]} - 1))); do
    printf '%s\tf%s.bin\n' "$url/many/f$i.bin" "$i" >>"$work/$net-many.list"
    printf '%s\n  out=f%s.bin\n' "$url/many/f$i.bin" "$i" >>"$work/$net-many.aria"
    printf 'url = "%s"\noutput = "%s/out/f%s.bin"\n' "$url/many/f$i.bin" "$work" "$i" >>"$work/$net-many.curl"
  done
done

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
fresh_out() { rm -rf "$work/out"; mkdir -p "$work/out"; }
check() { # network kind
  if [ "$2" = big ]; then
    cmp -s "$work/out/big.bin" "$work/$1/data/big.bin"
  else
    diff -rq "$work/$1/data/many" "$work/out" >/dev/null
  fi
}

peak_ws=""
# Prints the seconds of one run of tool for a case; fails when a file came out wrong.
run_once() { # tool network kind
  fresh_out
  sync
  local t0 t1 out url=${base[$2]} split=()
  [ "$2" = shaped ] && split=(-k1M)
  case $1 in
  RenewKit)
    out=$(wine "$exe" "$(winpath "$work/$2-$3.list")" "$(winpath "$work/out")" 8 8 2>&1 | tr -d "\r") || { echo "bench: $out" >&2; return 1; }
    echo "$out" | awk '/^seconds/ {print $2}'
    echo "$out" | awk '/^seconds/ {print $8}' >>"$work/peak_ws.$2-$3"
    ;;
  aria2c)
    t0=$(now)
    if [ "$3" = big ]; then
      aria2c -q -x8 -s8 "${split[@]}" --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -o big.bin "$url/big.bin"
    else
      aria2c -q -x8 -s8 "${split[@]}" -j8 --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -i "$work/$2-many.aria"
    fi
    t1=$(now)
    calc "$t1 - $t0"; echo
    ;;
  curl)
    t0=$(now)
    if [ "$3" = big ]; then
      curl -s -o "$work/out/big.bin" "$url/big.bin"
    else
      curl -s -K "$work/$2-many.curl"
    fi
    t1=$(now)
    calc "$t1 - $t0"; echo
    ;;
  esac
  check "$2" "$3" || { echo "bench: $1 produced a wrong file in case $2-$3" >&2; return 1; }
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

wine "$exe" >/dev/null 2>&1 || true # brings the prefix and its server up before timing
declare -A rate
printf '%-26s %-9s %12s   %s\n' case tool "median MB/s" "seconds per run"
ratios=()
for c in $cases; do
  net=${c%-*} kind=${c#*-}
  if [ "$kind" = big ]; then
    bytes=$((${big_mib[$net]} * 1024 * 1024)) label="$net 1 x ${big_mib[$net]} MiB"
  else
    bytes=$((${many_count[$net]} * 65536)) label="$net ${many_count[$net]} x 64 KiB"
  fi
  for tool in RenewKit aria2c curl; do
    times=()
    for _ in $(seq "$runs"); do times+=("$(run_once "$tool" "$net" "$kind")"); done
    m=$(printf '%s\n' "${times[@]}" | median)
    rate[$c.$tool]=$(calc "$bytes / 1000000 / $m")
    printf '%-26s %-9s %12.1f   %s\n' "$label" "$tool" "${rate[$c.$tool]}" "$(printf '%.3f ' "${times[@]}")"
  done
  if [ "$net" = shaped ]; then
    limit=$(calc "$connections * $rate_mib * 1048576 / 1000000")
    if [ "$kind" = big ]; then
      printf '%-26s %-9s %12.1f   %s\n' "$label" limit "$limit" \
        "$connections connections x $rate_mib MiB/s: $(calc "$bytes / ($limit * 1000000)") s, plus ${delay_ms} ms per request"
    else
      printf '%-26s %-9s %12s   %s\n' "$label" limit "-" \
        "each file one request: ${delay_ms} ms + 64 KiB at $rate_mib MiB/s, $connections at a time"
    fi
  fi
  printf '%-26s %-9s %12s   %s\n' "$label" peak-ws "" "RenewKit peak working set $(median <"$work/peak_ws.$c") MiB"
  ratio=$(calc "${rate[$c.RenewKit]} / ${rate[$c.aria2c]}")
  ratios+=("$ratio")
  printf '%-26s RenewKit/aria2c %.2f\n' "$label" "$ratio"
done
product=1
for r in "${ratios[@]}"; do product=$(calc "$product * $r"); done
printf 'RenewKit/aria2c ratio %.2f\n' "$(calc "exp(log($product) / ${#ratios[@]})")"
