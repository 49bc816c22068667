#!/usr/bin/env bash
# OpenSSL verifies what renewkit-pack signed: the public key line turned into
# a PEM key, each signature (r || s) into DER.
#   openssl_verifies_pack.sh STATE_DIR   (after make_signed_releases.sh)
set -euo pipefail
state=${1:?usage: openssl_verifies_pack.sh STATE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

public=$(sed -n 's/^PublicKey=\([^\r]*\).*/\1/p' "$state/keys/a.pub")
# The fixed DER header of a P-256 public key, then the point, uncompressed.
python3 -c '
import base64, sys
point = base64.b64decode(sys.argv[1], validate=True)
assert len(point) == 64, len(point)
header = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d03010703420004")
sys.stdout.buffer.write(header + point)' "$public" >"$work/a.der"
openssl pkey -pubin -inform DER -in "$work/a.der" -out "$work/a.pem"

to_der() { # base64 of r || s on stdin, DER on stdout
  python3 -c '
import base64, sys
raw = base64.b64decode(sys.stdin.read().strip(), validate=True)
assert len(raw) == 64, len(raw)
def integer(n):
    n = n.lstrip(b"\0") or b"\0"
    if n[0] & 0x80:
        n = b"\0" + n
    return b"\x02" + bytes([len(n)]) + n
body = integer(raw[:32]) + integer(raw[32:])
sys.stdout.buffer.write(b"\x30" + bytes([len(body)]) + body)'
}

for doc in update.xml renewkit.main.xml; do
  to_der <"$state/data/pub/v2-a/$doc.sig" >"$work/$doc.der"
  openssl dgst -sha256 -verify "$work/a.pem" -signature "$work/$doc.der" "$state/data/pub/v2-a/$doc"
done
# The same check must fail for a changed list.
cp "$state/data/pub/v2-a/update.xml" "$work/changed.xml"
printf ' ' >>"$work/changed.xml"
if openssl dgst -sha256 -verify "$work/a.pem" -signature "$work/update.xml.der" "$work/changed.xml" >/dev/null; then
  echo "a changed list verified" >&2
  exit 1
fi
echo "openssl_verifies_pack: both signatures verify with OpenSSL"
