#!/usr/bin/env bash
# Installs every package the build, the demo and the tests need, then builds the
# cross-compiled dependencies that Debian does not package for mingw.
# Idempotent: a second run only checks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/build/deps"

packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
  cmake ninja-build dpkg-dev googletest
  wine wine64 xvfb imagemagick
  nginx tinyproxy squid aria2 curl python3 clang-format fonts-dejavu-core openssl zstd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The servers are started by the tests themselves, never as system services.
for svc in nginx tinyproxy squid; do
  if command -v systemctl >/dev/null && systemctl is-active -q "$svc" 2>/dev/null; then systemctl stop "$svc" || true; fi
done

"$here/scripts/build_deps.sh" "$deps"
