#!/usr/bin/env bash
# Makes the two versions of a small application that the update-run tests
# install and update, each packed by the real renewkit-pack under Wine:
#   make_run_releases.sh STATE_DIR PACK_EXE DEMO_DIR
# Sources go to STATE_DIR/releases/vN, packed output to STATE_DIR/data/pub/vN.
set -euo pipefail
state=${1:?usage: make_run_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
pack=${2:?usage: make_run_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
demo=${3:?usage: make_run_releases.sh STATE_DIR PACK_EXE DEMO_DIR}
here=$(cd "$(dirname "$0")" && pwd)
wine_exec=$here/../wine/wine_exec.sh

rel=$state/releases
rm -rf "$rel"
for v in 1 2; do
  mkdir -p "$rel/v$v/docs" "$rel/v$v/data/deep"
  cp "$demo/v$v/demo.exe" "$demo/v$v/plugin.dll" "$rel/v$v/"
  printf 'Help for version %s\r\n' "$v" >"$rel/v$v/docs/help.txt"
  printf '[demo]\r\ncolour=blue\r\n' >"$rel/v$v/data/settings.ini"
  printf 'unchanged deep file\r\n' >"$rel/v$v/data/deep/keep.txt"
done
printf 'Added in version 2\r\n' >"$rel/v2/docs/new.txt"

# Version 2 with data that does not compress: ten files of 200 KB and one of
# 3 MB, which is large enough to be fetched by more than one transfer; packed
# with zipped variants ("big") and without ("bignozip").
for v in big bignozip; do
  cp -r "$rel/v2" "$rel/$v"
  mkdir -p "$rel/$v/media"
  for i in 0 1 2 3 4 5 6 7 8 9; do head -c 200000 /dev/urandom >"$rel/$v/media/clip$i.bin"; done
  head -c 3000000 /dev/urandom >"$rel/$v/media/movie.bin"
  [ "$v" = bignozip ] && cp "$rel/big/media/"*.bin "$rel/$v/media/"
done

for v in 1 2; do
  rm -rf "$state/data/pub/v$v"
  "$wine_exec" "$pack" "Z:$rel/v$v" "Z:$state/data/pub/v$v" --list update.xml >/dev/null
done
rm -rf "$state/data/pub/big" "$state/data/pub/bignozip"
"$wine_exec" "$pack" "Z:$rel/big" "Z:$state/data/pub/big" --list update.xml >/dev/null
"$wine_exec" "$pack" "Z:$rel/bignozip" "Z:$state/data/pub/bignozip" --list update.xml --no-zip >/dev/null
chmod -R a+rX "$state/data"
echo "make_run_releases: packed v1, v2, big and bignozip into $state/data/pub"
