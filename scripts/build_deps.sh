#!/usr/bin/env bash
# Builds the dependencies that Debian ships no mingw build of, with the cross
# compiler: minizip (from Debian's zlib source package), zstd (from Debian's
# libzstd source package) and GoogleTest (from /usr/src/googletest).
# Output: $1/minizip, $1/zstd and $1/gtest, each with include/ and lib/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=${1:-$root/build/deps}
mkdir -p "$deps"
cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar

# Debian's source packages, once per machine.
enable_deb_src() {
  local src_list=/etc/apt/sources.list.d/renewkit-deb-src.sources
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
}

# zip.o joined later (the release packer writes archives): its absence means an
# older build of the library that must be redone.
if [ ! -f "$deps/minizip/lib/libminizip.a" ] || [ ! -f "$deps/minizip/obj/zip.o" ]; then
  if ! ls "$deps"/src/zlib-*/contrib/minizip/unzip.c >/dev/null 2>&1; then
    enable_deb_src
    rm -rf "$deps"/src/zlib[-_]* && mkdir -p "$deps/src"
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

# zstd for the file deltas: the format's common code, the decoder and the
# single-threaded encoder, static. Debian's patches are applied: one of them
# mends a rare corruption in the encoder's block splitter. No assembly (its
# object format is ELF's), no legacy formats, no dictionary builder.
if [ ! -f "$deps/zstd/lib/libzstd.a" ]; then
  if ! ls "$deps"/src/libzstd-*/lib/zstd.h >/dev/null 2>&1; then
    enable_deb_src
    rm -rf "$deps"/src/libzstd[-_]* && mkdir -p "$deps/src"
    (cd "$deps/src" && apt-get source --download-only -q libzstd && dpkg-source -x libzstd_*.dsc >/dev/null)
  fi
  zs=$(ls -d "$deps"/src/libzstd-*/lib | head -n 1)
  obj="$deps/zstd/obj"
  rm -rf "$obj" && mkdir -p "$obj" "$deps/zstd/lib" "$deps/zstd/include"
  for f in "$zs"/common/*.c "$zs"/decompress/*.c "$zs"/compress/*.c; do
    [ "$(basename "$f")" = zstdmt_compress.c ] && continue
    $cc -O3 -c -DZSTD_DISABLE_ASM -DZSTD_LEGACY_SUPPORT=0 -DXXH_NAMESPACE=ZSTD_ \
      -I"$zs" -I"$zs/common" "$f" -o "$obj/$(basename "$(dirname "$f")")_$(basename "$f" .c).o"
  done
  rm -f "$deps/zstd/lib/libzstd.a"
  $ar rcs "$deps/zstd/lib/libzstd.a" "$obj"/*.o
  cp "$zs"/zstd.h "$zs"/zstd_errors.h "$deps/zstd/include/"
  echo "build_deps: zstd built"
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
