#!/usr/bin/env bash
# Makes what the delta tests serve: three releases of a small application
# (the demo program of version 1, then 2; a binary of 1 MB changed in a few
# places from one release to the next; a help text changed in the third), each
# packed by the real renewkit-pack under Wine with --delta-from the releases
# before it; the second also signed; and a delta of the binary made by Debian's
# zstd, for a list written by hand:
#   make_delta_releases.sh STATE_DIR PACK_EXE DEMO_DIR
# Sources go to STATE_DIR/releases/rN, packed output to STATE_DIR/data/pub/rN,
# the vendor key to STATE_DIR/keys, zstd's delta to STATE_DIR/data/cli.
set -euo pipefail
state=${1:?usage: make_delta_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
pack=${2:?usage: make_delta_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
demo=${3:?usage: make_delta_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
here=$(cd "$(dirname "$0")" && pwd)
wine_exec=$here/../wine/wine_exec.sh

rel=$state/releases
rm -rf "$rel"
for r in 1 2 3; do mkdir -p "$rel/r$r/docs"; done
cp "$demo/v1/demo.exe" "$demo/v1/plugin.dll" "$rel/r1/"
for r in 2 3; do cp "$demo/v2/demo.exe" "$demo/v2/plugin.dll" "$rel/r$r/"; done
printf 'Help, first edition\r\n' >"$rel/r1/docs/help.txt"
cp "$rel/r1/docs/help.txt" "$rel/r2/docs/help.txt"
printf 'Help, second edition\r\n' >"$rel/r3/docs/help.txt"
# A binary that compresses to about half, as program files do, and the same
# with 8 runs of 200 bytes changed in each later release.
python3 - "$rel" <<'PY'
import os, random, sys
rel = sys.argv[1]
rng = random.Random(20250610)
words = [bytes(rng.randrange(32, 127) for _ in range(rng.randrange(4, 12))) for _ in range(300)]
data = bytearray()
while len(data) < 1 << 20:
    data += rng.randbytes(64) if rng.random() < 0.5 else b" ".join(rng.choice(words) for _ in range(8))
data = data[: 1 << 20]
for r in (1, 2, 3):
    if r > 1:
        for _ in range(8):
            at = rng.randrange(len(data) - 200)
            data[at : at + 200] = rng.randbytes(200)
    with open(os.path.join(rel, "r%d" % r, "engine.bin"), "wb") as f:
        f.write(data)
PY

pub=$state/data/pub
packed() { # NAME RELEASE ARGS...
  local name=$1 release=$2
  shift 2
  rm -rf "$pub/$name"
  "$wine_exec" "$pack" "Z:$rel/$release" "Z:$pub/$name" --list update.xml "$@" >/dev/null
}
packed r1 r1
packed r2 r2 --delta-from "Z:$pub/r1"
packed r3 r3 --delta-from "Z:$pub/r1" --delta-from "Z:$pub/r2"
rm -rf "$state/keys"
mkdir -p "$state/keys"
"$wine_exec" "$pack" keygen "Z:$state/keys/a" >/dev/null
packed r2-signed r2 --delta-from "Z:$pub/r1" --sign "Z:$state/keys/a.key" --serial 7

mkdir -p "$state/data/cli"
zstd -q -f -19 --patch-from="$rel/r1/engine.bin" "$rel/r2/engine.bin" -o "$state/data/cli/engine.bin.zst"
chmod -R a+rX "$state/data"
echo "make_delta_releases: packed r1, r2, r3 and r2-signed into $pub"
