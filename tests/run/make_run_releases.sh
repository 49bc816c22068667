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

for v in 1 2; do
  rm -rf "$state/data/pub/v$v"
  "$wine_exec" "$pack" "Z:$rel/v$v" "Z:$state/data/pub/v$v" --list update.xml >/dev/null
done
chmod -R a+rX "$state/data"
echo "make_run_releases: packed v1 and v2 into $state/data/pub"
