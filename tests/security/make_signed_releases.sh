#!/usr/bin/env bash
# Makes what the signed-release tests serve: the two versions of the small
# application (as the update-run tests have them), two vendor keys made by
# renewkit-pack keygen, releases signed with each, and one signed with OpenSSL:
#   make_signed_releases.sh STATE_DIR PACK_EXE DEMO_DIR
# Keys go to STATE_DIR/keys, packed releases to STATE_DIR/data/pub/NAME.
set -euo pipefail
state=${1:?usage: make_signed_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
pack=${2:?usage: make_signed_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
demo=${3:?usage: make_signed_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
here=$(cd "$(dirname "$0")" && pwd)
wine_exec=$here/../wine/wine_exec.sh

"$here/../run/make_run_releases.sh" "$state" "$pack" "$demo" >/dev/null
rel=$state/releases
keys=$state/keys
rm -rf "$keys"
mkdir -p "$keys"
for k in a b; do
  "$wine_exec" "$pack" keygen "Z:$keys/$k" >/dev/null
done

packed() { # NAME RELEASE ARGS...
  local name=$1 release=$2
  shift 2
  rm -rf "$state/data/pub/$name"
  "$wine_exec" "$pack" "Z:$rel/$release" "Z:$state/data/pub/$name" --list update.xml "$@" >/dev/null
}
packed v2-a v2 --sign "Z:$keys/a.key" --serial 5
packed v2-b v2 --sign "Z:$keys/b.key" --serial 5
packed v1-a4 v1 --sign "Z:$keys/a.key" --serial 4

# A vendor who signs with OpenSSL: the list stamped by renewkit-pack, the
# signatures (DER, as OpenSSL writes them) and the public key made by OpenSSL.
packed v2-openssl v2 --serial 3 --expires 30
openssl ecparam -name prime256v1 -genkey -noout -out "$keys/openssl.pem" 2>/dev/null
chmod 600 "$keys/openssl.pem"
for doc in update.xml renewkit.main.xml; do
  openssl dgst -sha256 -sign "$keys/openssl.pem" "$state/data/pub/v2-openssl/$doc" | base64 -w0 \
    >"$state/data/pub/v2-openssl/$doc.sig"
done
printf '[Security]\r\nPublicKey=%s\r\n' \
  "$(openssl ec -in "$keys/openssl.pem" -pubout -outform DER 2>/dev/null | tail -c 64 | base64 -w0)" \
  >"$keys/openssl.pub"
chmod -R a+rX "$state/data"
echo "make_signed_releases: keys in $keys, signed releases in $state/data/pub"
