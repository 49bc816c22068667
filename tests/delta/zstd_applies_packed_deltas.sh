#!/usr/bin/env bash
# Debian's zstd applies every delta renewkit-pack published to the release
# file it starts from, giving the new release's file byte for byte.
#   zstd_applies_packed_deltas.sh STATE_DIR   (after make_delta_releases.sh)
set -euo pipefail
state=${1:?usage: zstd_applies_packed_deltas.sh STATE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checked=0
for r in 2 3; do
  for delta in "$state"/data/pub/r$r/*.zst; do
    name=$(basename "$delta")
    file=${name%.*.zst}
    prefix=${name%.zst}
    prefix=${prefix##*.}
    base=""
    for earlier in "$state"/releases/r*/"$file"; do
      if [ "$(sha256sum "$earlier" | cut -c1-16)" = "$prefix" ]; then base=$earlier; fi
    done
    [ -n "$base" ] || { echo "no base for $delta" >&2; exit 1; }
    zstd -q -d --patch-from="$base" "$delta" -o "$work/out"
    cmp "$work/out" "$state/releases/r$r/$file"
    rm -f "$work/out"
    checked=$((checked + 1))
  done
done
# Each file that changed has a delta from every earlier release.
[ "$checked" -ge 6 ] || { echo "only $checked deltas published" >&2; exit 1; }
echo "zstd applied $checked deltas"
