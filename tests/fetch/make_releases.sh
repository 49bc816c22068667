#!/usr/bin/env bash
# Makes the releases that the fetch tests are served, each packed by the real
# renewkit-pack under Wine into the servers' data folder:
#   make_releases.sh STATE_DIR PACK_EXE
# Sources go to STATE_DIR/releases/NAME, packed output to STATE_DIR/data/pub/NAME.
set -euo pipefail
state=${1:?usage: make_releases.sh STATE_DIR PACK_EXE}
pack=${2:?usage: make_releases.sh STATE_DIR PACK_EXE}
here=$(cd "$(dirname "$0")" && pwd)
wine_exec=$here/../wine/wine_exec.sh
python=${PYTHON:-python3}

"$python" - "$state/releases" <<'PY'
import os, random, shutil, sys
root = sys.argv[1]
shutil.rmtree(root, ignore_errors=True)
rng = random.Random(90210)

def put(release, path, data):
    full = os.path.join(root, release, *path.split("/"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)

# Text-like content compresses, so the zipped variants differ from the files.
def text(size):
    words = [b"alpha", b"beta", b"gamma", b"delta", b"update", b"file", b"\r\n"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b" "
    return bytes(out[:size])

put("small", "app.exe", text(40000))
put("small", "plugins/report.dll", rng.randbytes(25000))
put("small", "readme.txt", text(3000))
for i in range(5):
    put("five", "f%d.bin" % i, text(6000 + 1000 * i))
for i in range(3):
    put("sub%d" % i, "which.txt", b"sub list %d\r\n" % i + text(2000))
for i in range(1000):
    put("thousand", "d%02d/file%04d.dat" % (i % 10, i), text(200 + rng.randrange(3000)))
PY

pack_one() { # name [options...]
  local name=$1
  shift
  rm -rf "$state/data/pub/$name"
  "$wine_exec" "$pack" "Z:$state/releases/$name" "Z:$state/data/pub/$name" "$@" >/dev/null
}
pack_one small --description 'Version 5.2\nFaster start-up' --action 'app.exe=run' \
  --action 'plugins/report.dll=reg' --run 'setup.exe|/silent|yes|post' --version 5.2 \
  --sublist 'http://127.0.0.1/one/update.xml' --sublist 'http://127.0.0.1/two/update.xml'
pack_one five
pack_one sub0
pack_one sub1
pack_one sub2
pack_one thousand
chmod -R a+rX "$state/data"
echo "make_releases: packed into $state/data/pub"
