#!/usr/bin/env bash
# Configures and builds the cross build in build/cross (after scripts/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RENEWKIT_BUILD_DIR:-$root/build/cross}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release "$@"
fi
cmake --build "$build" -j 2
