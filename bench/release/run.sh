#!/usr/bin/env bash
# A whole release as a user meets it: real Windows binaries (Wine's own PE
# files from the wine64 package, every file below 3 MB, sorted by name) in a few
# folders, packed by renewkit-pack and served by nginx with keep-alive:
#   100 files:   every sixth of them;
#   1000 files:  all of them, then renamed copies of the first ones up to 1,000.
# RenewKit: a stamped updater's whole silent run ("renewkit.exe silence", a
# fresh install into an empty application folder), timed as a process.
# aria2c -j8 -x8 -s8 -k1M and curl -Z (8 at a time) fetch the same plain files.
# Networks:
#   loop    nginx on 127.0.0.1;
#   rtt50   through latency_relay.py: 50 ms round trip, a new connection costs
#           one more round trip before its first byte;
#   tls50   the same over HTTPS (nginx with the test authority's certificate,
#           which the bench's own Wine prefix trusts).
# Each tool runs RK_BENCH_RUNS times (default 5) per case; prints the median
# seconds, the requests and TCP connections nginx saw (median over the runs),
# RenewKit's peak working set, and "no-op": the run of an up-to-date
# installation beside the start of a bare Windows console program. Last line:
# "RenewKit/aria2c ratio X", the geometric mean over the cases of aria2c's
# time / RenewKit's time.
#   bench/release/run.sh [BUILD_DIR]
# RK_BENCH_CASES limits the cases (default "loop-100 rtt50-100 tls50-100
# loop-1000 rtt50-1000 tls50-1000 noop"); RK_BENCH_RTT_MS sets the round trip;
# RK_BENCH_BASELINE=BUILD_DIR also runs that build's updater, taking turns with
# this one run by run ("baseline", and its time / this one's).
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build/cross}
needed=(renewkit.exe tools/renewkit-pack.exe tools/renewkit-stamp.exe tests/security/rk-trust-root.exe
  bench/release/rk_bare.exe)
for f in "${needed[@]}"; do
  if [ ! -f "$build/$f" ]; then
    RENEWKIT_BUILD_DIR=$build "$repo/scripts/build.sh" >/dev/null
    break
  fi
done
build=$(cd "$build" && pwd)
runs=${RK_BENCH_RUNS:-5}
# Another build's updater measured beside this one, run by run ("baseline").
baseline=${RK_BENCH_BASELINE:-}
[ -z "$baseline" ] || baseline=$(cd "$baseline" && pwd)
tools=(RenewKit)
[ -n "$baseline" ] && tools+=(baseline)
tools+=(aria2c curl)
cases=${RK_BENCH_CASES:-loop-100 rtt50-100 tls50-100 loop-1000 rtt50-1000 tls50-1000 noop}
rtt=${RK_BENCH_RTT_MS:-50}
wine_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}

work=$(mktemp -d /tmp/rk-release-bench.XXXXXX)
chmod 755 "$work" # nginx workers run as nobody
state=$work/servers
relay_pids=()
cleanup() {
  for pid in "${relay_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$repo/tests/servers/servers.sh" stop "$state" >/dev/null 2>&1 || true
  "$repo/tests/wine/session.sh" stop "$work/session" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A Wine prefix of the bench's own, with a persistent server, trusting the test authority.
eval "$("$repo/tests/wine/session.sh" start "$work/session" "$work/prefix")"
"$repo/tests/servers/servers.sh" start "$state" nginx >/dev/null
wine "$build/tests/security/rk-trust-root.exe" "Z:$(echo "$state/tls/ca.pem" | tr / '\\')" >/dev/null
data=$state/data
access=$state/nginx/access.log
win() { echo "Z:$(echo "$1" | tr / '\\')"; }

# Started here, not in a subshell: the bench stops them by their pids.
relay() { # target-port name
  python3 "$repo/bench/release/latency_relay.py" --target "$1" --rtt-ms "$rtt" --port-file "$work/$2.port" \
    >"$work/$2.log" 2>&1 &
  relay_pids+=($!)
  for _ in $(seq 200); do [ -s "$work/$2.port" ] && break; sleep 0.05; done
  [ -s "$work/$2.port" ] || { echo "bench: the relay $2 did not start" >&2; exit 1; }
}
relay "$(cat "$state/nginx.port")" relay
relay "$(cat "$state/nginx_tls.port")" relay_tls
declare -A base
base[loop]=http://127.0.0.1:$(cat "$state/nginx.port")
base[rtt50]=http://127.0.0.1:$(cat "$work/relay.port")
base[tls50]=https://localhost:$(cat "$work/relay_tls.port")

# The releases: files below 3 MB by name, spread over a few folders.
mapfile -t pool < <(find "$wine_dir" -maxdepth 1 -type f -size -3000000c -printf '%f\n' | LC_ALL=C sort)
folders=(bin lib plugins plugins/codecs)
make_release() { # name count
  local rel=$work/src/$1 i=0 n=0 name stem
  mkdir -p "$rel"
  if [ "$2" -le 100 ]; then
    for name in "${pool[@]}"; do
      if [ $((i % 6)) -eq 0 ] && [ "$n" -lt "$2" ]; then
        mkdir -p "$rel/${folders[n % 4]}" && cp "$wine_dir/$name" "$rel/${folders[n % 4]}/$name"
        n=$((n + 1))
      fi
      i=$((i + 1))
    done
  else
    while [ "$n" -lt "$2" ]; do
      name=${pool[n % ${#pool[@]}]}
      [ "$n" -ge "${#pool[@]}" ] && { stem=${name%.*}; name="$stem-copy.${name##*.}"; }
      mkdir -p "$rel/${folders[n % 4]}" && cp "$wine_dir/${pool[n % ${#pool[@]}]}" "$rel/${folders[n % 4]}/$name"
      n=$((n + 1))
    done
  fi
  wine "$build/tools/renewkit-pack.exe" "$(win "$rel")" "$(win "$data/r$1")" --list update.xml >/dev/null
  chmod -R a+rX "$data"
  (cd "$rel" && find . -type f | sed 's#^\./##' | LC_ALL=C sort) >"$work/files.$1"
}

sizes=()
for c in $cases; do [ "$c" = noop ] || sizes+=("${c#*-}"); done
[[ " $cases " == *" noop "* ]] && sizes+=(100)
for n in $(printf '%s\n' "${sizes[@]}" | sort -un); do
  make_release "$n" "$n"
  echo "release r$n: $(wc -l <"$work/files.$n") files, $(du -sb "$work/src/$n" | cut -f1) bytes; packed (zipped variants) $(find "$data/r$n" -name '*._.zip' -print0 | du -cb --files0-from=- | tail -1 | cut -f1) bytes"
done

# One stamped updater per case; its application folder and temporary folder are
# emptied before each fresh install.
app_root=$WINEPREFIX/drive_c/Mellowby/mbqb
stamp() { # name network size [updater]
  local ini=$work/$1.ini
  printf '[RenewKit]\nLog=inst.log\nLangage=\nShowWhenCheck=0\nQuickCheck=0\nTempPath=C:\\rkbench-temp\\%s\n\n[UPDATEINFO]\nListURL=%s/r%s/update.xml\n\n[APPLICATION]\nName=RKBench-%s\nqbdir=202612080000000000001\n' \
    "$1" "${base[$2]}" "$3" "$1" >"$ini"
  wine "$build/tools/renewkit-stamp.exe" "$(win "${4:-$build/renewkit.exe}")" "$(win "$ini")" "$(win "$work/$1.exe")" >/dev/null
}
fresh() { rm -rf "$app_root/RKBench-$1" "$WINEPREFIX/drive_c/rkbench-temp/$1"; mkdir -p "$app_root/RKBench-$1"; }

now() { date +%s.%N; }
# A check starts the updater again in the background ("downparam", the hidden
# refresh): it ends on its own, and must not run into the next timed run.
settle() { # case
  for _ in $(seq 100); do
    pgrep -f "$1.exe" >/dev/null || return 0
    sleep 0.1
  done
}
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
log_mark() { wc -l <"$access"; }
# Requests and distinct connections in the access log since the mark (the last
# two fields are $connection and $connection_requests).
log_counts() { # mark
  tail -n +"$(($1 + 1))" "$access" | awk '{r++; c[$(NF-1)]=1} END {n=0; for (k in c) n++; printf "%d %d\n", r, n}'
}
same_files() { # case-size out-folder suffix
  local f
  while read -r f; do cmp -s "$work/src/$1/$f" "$2/$f$3" || { echo "bench: $2/$f$3 differs" >&2; return 1; }; done <"$work/files.$1"
}

# One timed run; prints "seconds requests connections peak-kib".
run_once() { # tool case network size
  local t0 t1 mark counts out=$work/out peak=- code=0 ca=()
  rm -rf "$out" && mkdir -p "$out"
  [ "$3" = tls50 ] && ca=(--ca-certificate="$state/tls/ca.pem")
  mark=$(log_mark)
  sync
  case $1 in
  RenewKit | baseline)
    local name=$2
    [ "$1" = baseline ] && name=$2-base
    fresh "$name"
    t0=$(now)
    /usr/bin/time -f %M -o "$work/time.out" wine "$work/$name.exe" silence >/dev/null 2>&1 || code=$?
    t1=$(now)
    peak=$(tail -1 "$work/time.out")
    settle "$name"
    # The exit code is the number of files installed (modulo 256 here).
    [ "$code" = "$(($4 % 256))" ] || { echo "bench: $1 ended with $code in case $2" >&2; tail -5 "$app_root/RKBench-$name/inst.log" >&2; return 1; }
    same_files "$4" "$app_root/RKBench-$name" "" || return 1
    ;;
  aria2c)
    t0=$(now)
    aria2c -q -j8 -x8 -s8 -k1M "${ca[@]}" --allow-overwrite=true --auto-file-renaming=false -d "$out" -i "$work/$3-$4.aria"
    t1=$(now)
    same_files "$4" "$out" "" || return 1
    ;;
  curl)
    [ "$3" = tls50 ] && ca=(--cacert "$state/tls/ca.pem")
    t0=$(now)
    curl -s -Z --parallel-max 8 --no-progress-meter "${ca[@]}" --create-dirs -K "$work/$3-$4.curl" 2>/dev/null
    t1=$(now)
    same_files "$4" "$out" "" || return 1
    ;;
  esac
  counts=$(log_counts "$mark")
  echo "$(calc "$t1 - $t0") $counts $peak"
}

printf '%-12s %-9s %9s %9s %12s   %s\n' case tool "median s" requests connections "seconds per run"
declare -A secs
ratios=()
for c in $cases; do
  [ "$c" = noop ] && continue
  net=${c%-*} n=${c#*-}
  : >"$work/$net-$n.aria"
  : >"$work/$net-$n.curl"
  while read -r f; do
    printf '%s/r%s/%s\n  out=%s\n' "${base[$net]}" "$n" "$f" "$f" >>"$work/$net-$n.aria"
    printf 'url = "%s/r%s/%s"\noutput = "%s/out/%s"\n' "${base[$net]}" "$n" "$f" "$work" "$f" >>"$work/$net-$n.curl"
  done <"$work/files.$n"
  stamp "$c" "$net" "$n"
  [ -n "$baseline" ] && stamp "$c-base" "$net" "$n" "$baseline/renewkit.exe"
  # The tools take turns run by run, so that a busy moment falls on all of them.
  declare -A results=()
  for _ in $(seq "$runs"); do
    for tool in "${tools[@]}"; do results[$tool]+="$(run_once "$tool" "$c" "$net" "$n")"$'\n'; done
  done
  for tool in "${tools[@]}"; do
    r=${results[$tool]}
    m=$(printf '%s' "$r" | awk 'NF {print $1}' | median)
    req=$(printf '%s' "$r" | awk 'NF {print $2}' | median)
    conn=$(printf '%s' "$r" | awk 'NF {print $3}' | median)
    secs[$c.$tool]=$m
    printf '%-12s %-9s %9.3f %9s %12s   %s\n' "$c" "$tool" "$m" "$req" "$conn" "$(printf '%s' "$r" | awk 'NF {printf "%.3f ", $1}')"
    if [ "$tool" = RenewKit ] || [ "$tool" = baseline ]; then
      printf '%-12s %-9s %s\n' "$c" peak-ws "$tool peak working set $(printf '%s' "$r" | awk 'NF {print $4}' | median | awk '{printf "%.1f", $1 / 1024}') MiB"
    fi
  done
  [ -n "$baseline" ] && printf '%-12s baseline/RenewKit time %.2f\n' "$c" "$(calc "${secs[$c.baseline]} / ${secs[$c.RenewKit]}")"
  ratio=$(calc "${secs[$c.aria2c]} / ${secs[$c.RenewKit]}")
  ratios+=("$ratio")
  printf '%-12s RenewKit/aria2c %.2f\n' "$c" "$ratio"
done

if [[ " $cases " == *" noop "* ]]; then
  # An installation that is up to date: the check and nothing else.
  noop_tools=(RenewKit)
  [ -n "$baseline" ] && noop_tools+=(baseline)
  for net in loop rtt50 tls50; do
    c=noop-$net
    stamp "$c" "$net" 100
    [ -n "$baseline" ] && stamp "$c-base" "$net" 100 "$baseline/renewkit.exe"
    declare -A results=()
    for tool in "${noop_tools[@]}"; do
      name=$c
      [ "$tool" = baseline ] && name=$c-base
      fresh "$name"
      wine "$work/$name.exe" silence >/dev/null 2>&1 || true
      settle "$name"
    done
    for _ in $(seq "$runs"); do
      for tool in "${noop_tools[@]}"; do
        name=$c
        [ "$tool" = baseline ] && name=$c-base
        mark=$(log_mark)
        t0=$(now)
        wine "$work/$name.exe" silence >/dev/null 2>&1 || true
        t1=$(now)
        settle "$name"
        results[$tool]+="$(calc "$t1 - $t0") $(log_counts "$mark")"$'\n'
      done
    done
    for tool in "${noop_tools[@]}"; do
      r=${results[$tool]}
      printf '%-12s %-9s %9.3f %9s %12s   %s\n' "$c" "$tool" "$(printf '%s' "$r" | awk 'NF {print $1}' | median)" \
        "$(printf '%s' "$r" | awk 'NF {print $2}' | median)" "$(printf '%s' "$r" | awk 'NF {print $3}' | median)" \
        "$(printf '%s' "$r" | awk 'NF {printf "%.3f ", $1}')"
    done
  done
  times=()
  for _ in $(seq "$runs"); do
    t0=$(now)
    wine "$build/bench/release/rk_bare.exe" >/dev/null 2>&1
    t1=$(now)
    times+=("$(calc "$t1 - $t0")")
  done
  printf '%-12s %-9s %9.3f %9s %12s   %s\n' noop bare-exe "$(printf '%s\n' "${times[@]}" | median)" - - \
    "$(printf '%.3f ' "${times[@]}")"
fi

if [ "${#ratios[@]}" -gt 0 ]; then
  product=1
  for r in "${ratios[@]}"; do product=$(calc "$product * $r"); done
  printf 'RenewKit/aria2c ratio %.2f\n' "$(calc "exp(log($product) / ${#ratios[@]})")"
fi
