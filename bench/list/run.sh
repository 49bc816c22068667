#!/usr/bin/env bash
# Parses a remote and a local list of 20,000 entries each and compares them
# under Wine, through the path index and by a plain nested search; prints the
# times and the peak working set, the nested/index ratio last.
#   bench/list/run.sh [BUILD_DIR]   (default: build/cross, else build/h-list, else build/bench)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-}
if [ -z "$build" ]; then
  for candidate in "$repo/build/cross" "$repo/build/h-list"; do
    [ -f "$candidate/build.ninja" ] && { build=$candidate; break; }
  done
fi
build=${build:-$repo/build/bench}
case $build in /*) ;; *) build=$PWD/$build ;; esac
if [ ! -f "$build/build.ninja" ]; then
  # The test programs name the embedded resource object among the sources that
  # are scanned while configuring, so it is made before the tests are configured.
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DRENEWKIT_TESTS=OFF >/dev/null
  cmake --build "$build" -j 2 --target generated/embedded_res.obj >/dev/null
  cmake -S "$repo" -B "$build" -DRENEWKIT_TESTS=ON >/dev/null
fi
cmake --build "$build" -j 2 --target rk_list_bench >/dev/null
export RENEWKIT_WINEPREFIX=${RENEWKIT_WINEPREFIX:-$build/wineprefix}
"$repo/tests/wine/wine_exec.sh" "$build/bench/list/rk_list_bench.exe" | tr -d '\r'
