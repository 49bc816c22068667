#!/usr/bin/env bash
# Builds the two dependencies that Debian ships no mingw build of, with the cross
# compiler: minizip (from Debian's zlib source package) and GoogleTest (from
# /usr/src/googletest). Output: $1/minizip and $1/gtest, each with include/ and lib/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=${1:-$root/build/deps}
mkdir -p "$deps"
cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar

# zip.o joined later (the release packer writes archives): its absence means an
# older build of the library that must be redone.
if [ ! -f "$deps/minizip/lib/libminizip.a" ] || [ ! -f "$deps/minizip/obj/zip.o" ]; then
  src_list=/etc/apt/sources.list.d/renewkit-deb-src.sources
  if ! ls "$deps"/src/zlib-*/contrib/minizip/unzip.c >/dev/null 2>&1; then
    if [ ! -f "$src_list" ]; then
      cat > "$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
      apt-get update -q
    fi
    rm -rf "$deps/src" && mkdir -p "$deps/src"
    (cd "$deps/src" && apt-get source --download-only -q zlib && dpkg-source -x --skip-patches zlib_*.dsc >/dev/null)
  fi
  mz=$(ls -d "$deps"/src/zlib-*/contrib/minizip | head -n 1)
  obj="$deps/minizip/obj"
  mkdir -p "$obj" "$deps/minizip/lib" "$deps/minizip/include/minizip"
  for f in ioapi unzip zip iowin32; do
    $cc -O2 -c -DNOCRYPT -D_WIN32_WINNT=0x0601 -I"$mz" "$mz/$f.c" -o "$obj/$f.o"
  done
  rm -f "$deps/minizip/lib/libminizip.a"
  $ar rcs "$deps/minizip/lib/libminizip.a" "$obj"/ioapi.o "$obj"/unzip.o "$obj"/zip.o "$obj"/iowin32.o
  cp "$mz"/ioapi.h "$mz"/unzip.h "$mz"/zip.h "$mz"/iowin32.h "$deps/minizip/include/minizip/"
  echo "build_deps: minizip built"
fi

if [ ! -f "$deps/gtest/lib/libgtest.a" ]; then
  cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/gtest" \
    -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$deps/gtest-build" >/dev/null
  cmake --install "$deps/gtest-build" >/dev/null
  echo "build_deps: googletest built"
fi
