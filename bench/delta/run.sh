#!/usr/bin/env bash
# File deltas on real binaries, under Wine:
#   - "renewkit": this project's renewkit.exe built at HEAD against one built
#     about 20 commits earlier (a git worktree in a temporary folder; the old
#     build is kept in build/bench-delta/COMMIT for the next run);
#   - "wine": every 16th of Wine's PE DLLs, of which the three largest changed
#     in 12 places each, 3 % of their bytes;
#   - "one": the same release in which only the largest changed, in 40 places
#     of 0.0125 % of its bytes each (0.5 % in all);
#   - "big": the "wine" release with Wine's shell32.dll (14.8 MB) added, in
#     which only shell32.dll changed, in 40 scattered places of 500 bytes;
#   - "4 MB delta": Wine's shell32.dll with a quarter of its bytes changed, for
#     the time and memory of applying a delta of about 4 MB.
# Each is packed by renewkit-pack with and without --delta-from the previous
# release. Prints per changed file the plain, zipped, delta (the packer's, or
# made alike when the packer left it out: kept "no") and `zstd -19
# --patch-from` sizes, the time to make a delta (renewkit-pack's level) and to
# apply and check it (medians of RK_BENCH_RUNS, default 5), how far the
# working set rose during the apply and the process's peak working set (MiB);
# then per release the bytes (HTTP bodies, list and master list included) the
# real download pass fetches from nginx with and without deltas.
#   bench/delta/run.sh [BUILD_DIR]
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build/cross}
if [ ! -f "$build/bench/delta/rk_delta_bench.exe" ] || [ ! -f "$build/tools/renewkit-pack.exe" ] ||
  [ ! -f "$build/renewkit.exe" ]; then
  "$repo/scripts/build.sh" >/dev/null
fi
build=$(cd "$build" && pwd)
exe=$build/bench/delta/rk_delta_bench.exe
pack=$build/tools/renewkit-pack.exe
runs=${RK_BENCH_RUNS:-5}
export WINEPREFIX=${RENEWKIT_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY

work=$(mktemp -d /tmp/rk-delta-bench.XXXXXX)
chmod 755 "$work" # nginx workers run as nobody
state=$work/state
cleanup() {
  "$repo/tests/servers/servers.sh" stop "$state" || true
  if [ -d "$work/old-src" ]; then git -C "$repo" worktree remove --force "$work/old-src" || true; fi
  git -C "$repo" worktree prune || true
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
field() { tr -d '\r' | awk -v k="$1" '{for (i = 1; i < NF; i++) if ($i == k) print $(i+1)}'; }

# The updater about 20 commits back, built by itself in a worktree of its own.
old_commit=$(git -C "$repo" rev-parse HEAD~20)
old_exe=$repo/build/bench-delta/$old_commit/renewkit.exe
if [ ! -f "$old_exe" ]; then
  echo "bench: building renewkit.exe at ${old_commit:0:12} (HEAD~20) in a temporary worktree" >&2
  git -C "$repo" worktree add -q --detach "$work/old-src" "$old_commit"
  cmake -S "$work/old-src" -B "$work/old-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$work/old-src/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DRENEWKIT_DEPS_DIR="$repo/build/deps" -DRENEWKIT_TESTS=OFF >/dev/null
  cmake --build "$work/old-build" --target renewkit -j 2 >/dev/null
  mkdir -p "$(dirname "$old_exe")"
  cp "$work/old-build/renewkit.exe" "$old_exe"
  git -C "$repo" worktree remove --force "$work/old-src"
fi

"$repo/tests/servers/servers.sh" start "$state" nginx >/dev/null
port=$(cat "$state/nginx.port")
pub=$state/data/pub
rel=$work/releases
mkdir -p "$rel" "$pub"

mkdir -p "$rel/renewkit/1" "$rel/renewkit/2"
cp "$old_exe" "$rel/renewkit/1/renewkit.exe"
cp "$build/renewkit.exe" "$rel/renewkit/2/renewkit.exe"

wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
mkdir -p "$rel/wine/1"
find "$wine_dlls" -maxdepth 1 -type f | sort | awk 'NR % 16 == 1' | xargs -I{} cp {} "$rel/wine/1/"
cp -r "$rel/wine/1" "$rel/wine/2"
mkdir -p "$rel/one"
cp -r "$rel/wine/1" "$rel/one/1"
cp -r "$rel/wine/1" "$rel/one/2"
mkdir -p "$rel/big"
cp -r "$rel/wine/1" "$rel/big/1"
cp "$wine_dlls/shell32.dll" "$rel/big/1/"
cp -r "$rel/big/1" "$rel/big/2"
mkdir -p "$rel/4mb/1"
cp "$wine_dlls/shell32.dll" "$rel/4mb/1/"
cp -r "$rel/4mb/1" "$rel/4mb/2"
# change FILE PLACES SHARE SEED: SHARE of the bytes overwritten in PLACES runs.
change() {
  python3 - "$@" <<'PY'
import random, sys
path, places, share, seed = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
data = bytearray(open(path, "rb").read())
rng = random.Random(seed)
run = int(len(data) * share / places)
for _ in range(places):
    at = rng.randrange(len(data) - run)
    data[at : at + run] = rng.randbytes(run)
open(path, "wb").write(data)
PY
}
seed=1
for f in $(ls -S "$rel/wine/2" | head -n 3); do
  change "$rel/wine/2/$f" 12 0.03 $seed
  seed=$((seed + 1))
done
change "$rel/one/2/$(ls -S "$rel/one/2" | head -n 1)" 40 0.005 7
change "$rel/big/2/shell32.dll" 40 "$(awk "BEGIN { print 40 * 500 / $(stat -c %s "$rel/big/2/shell32.dll") }")" 11
change "$rel/4mb/2/shell32.dll" 60 0.27 9

sizeof() { stat -c %s "$1"; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
printf '%-9s %-14s %9s %9s %9s %9s %6s %7s %8s %8s %8s %7s\n' release file plain zipped delta zstd-19 kept \
  "make s" "apply ms" "check ms" "apply WS" "peak WS"
for r in renewkit wine one big 4mb; do
  wine "$pack" "$(winpath "$rel/$r/1")" "$(winpath "$pub/$r-1")" >/dev/null
  wine "$pack" "$(winpath "$rel/$r/2")" "$(winpath "$pub/$r-2-full")" >/dev/null
  wine "$pack" "$(winpath "$rel/$r/2")" "$(winpath "$pub/$r-2")" --delta-from "$(winpath "$pub/$r-1")" >/dev/null
  for f in $(ls "$rel/$r/2"); do
    base=$rel/$r/1/$f
    target=$rel/$r/2/$f
    cmp -s "$base" "$target" && continue
    zstd -q -f -19 --long=27 --patch-from="$base" "$target" -o "$work/cli.zst" 2>/dev/null
    makes=()
    for _ in $(seq "$((runs < 3 ? runs : 3))"); do
      makes+=("$(wine "$exe" make "$(winpath "$base")" "$(winpath "$target")" "$(winpath "$work/made.zst")" |
        field make_seconds)")
    done
    # The packer's delta when it kept one, else the same made here.
    delta=$pub/$r-2/$f.$(sha256sum "$base" | cut -c1-16).zst
    kept=yes
    [ -f "$delta" ] || { delta=$work/made.zst; kept=no; }
    applies=() checks=() rises=() peaks=()
    for _ in $(seq "$runs"); do
      out=$(wine "$exe" apply "$(winpath "$base")" "$(winpath "$delta")" "$(winpath "$work/out.bin")" \
        "$(sizeof "$target")")
      [ "$(echo "$out" | field sha256)" = "$(sha256sum "$target" | cut -c1-64)" ] ||
        { echo "bench: the delta of $f gave the wrong bytes" >&2; exit 1; }
      applies+=("$(echo "$out" | field apply_seconds)")
      checks+=("$(echo "$out" | field verify_seconds)")
      rises+=("$(echo "$out" | field apply_ws_mib)")
      peaks+=("$(echo "$out" | field peak_ws_mib)")
    done
    printf '%-9s %-14s %9d %9d %9d %9d %6s %7.2f %8.1f %8.1f %8.1f %7.1f\n' "$r" "$f" "$(sizeof "$target")" \
      "$(sizeof "$pub/$r-2/$f._.zip")" "$(sizeof "$delta")" "$(sizeof "$work/cli.zst")" "$kept" \
      "$(printf '%s\n' "${makes[@]}" | median)" \
      "$(printf '%s\n' "${applies[@]}" | awk '{print $1 * 1000}' | median)" \
      "$(printf '%s\n' "${checks[@]}" | awk '{print $1 * 1000}' | median)" \
      "$(printf '%s\n' "${rises[@]}" | median)" "$(printf '%s\n' "${peaks[@]}" | median)"
  done
done
chmod -R a+rX "$state/data"

# What an update from release 1 transfers: the list and the master list as the
# updater fetches them (plain), then the real download pass over the entries
# that changed, deltas from the installed files where the list names them.
# One connection per file (filethread=1): a segment asks for an open-ended
# range and stops reading at its end, and what nginx pushed into the socket
# by then would count as sent.
access=$state/nginx/access.log
body_bytes() { awk -F'"' '{split($3, a, " "); s += a[2]} END {print s + 0}' "$access"; }
echo
printf '%-9s %14s %14s %8s %12s %10s %10s\n' release "without deltas" "with deltas" ratio "list bytes" \
  "pass s" "(with)"
for r in renewkit wine one big 4mb; do
  declare -A bytes=() listbytes=() pass=()
  for variant in full delta; do
    folder=$r-2
    [ "$variant" = full ] && folder=$r-2-full
    app=$work/app-$r-$variant
    rm -rf "$app" "$work/down"
    mkdir -p "$app" "$work/down"
    cp -r "$rel/$r/1/." "$app/"
    cp "$pub/$r-1/update.xml" "$app/renewkit.xml"
    printf '[RenewKit]\r\nthreadcount=8\r\nfilethread=1\r\n' >"$app/renewkit.ini"
    : >"$access"
    curl -s -o /dev/null "http://127.0.0.1:$port/pub/$folder/update.xml"
    curl -s -o /dev/null "http://127.0.0.1:$port/pub/$folder/renewkit.main.xml"
    listbytes[$variant]=$(body_bytes)
    out=$(wine "$exe" update "$(winpath "$app")\\" "$(winpath "$pub/$folder/update.xml")" \
      "http://127.0.0.1:$port/pub/$folder/update.xml" "$(winpath "$work/down")" | tr -d '\r') ||
      { echo "bench: the update pass failed: $out" >&2; exit 1; }
    for f in $(ls "$rel/$r/2"); do
      if ! cmp -s "$rel/$r/1/$f" "$rel/$r/2/$f"; then
        cmp -s "$work/down/${f}_" "$rel/$r/2/$f" || { echo "bench: $f was not fetched right" >&2; exit 1; }
      fi
    done
    bytes[$variant]=$(body_bytes)
    pass[$variant]=$(echo "$out" | field pass_seconds)
  done
  printf '%-9s %14d %14d %7.2f%% %12s %10s %10s\n' "$r" "${bytes[full]}" "${bytes[delta]}" \
    "$(awk "BEGIN { print 100 * ${bytes[delta]} / ${bytes[full]} }")" "${listbytes[full]}/${listbytes[delta]}" \
    "${pass[full]}" "${pass[delta]}"
done
