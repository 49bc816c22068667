#!/usr/bin/env bash
# renewkit-pack as a vendor runs it: exit codes and messages for bad input.
#   pack_cli_test.sh WORK_DIR PACK_EXE
set -uo pipefail
work=${1:?usage: pack_cli_test.sh WORK_DIR PACK_EXE}
pack=${2:?usage: pack_cli_test.sh WORK_DIR PACK_EXE}
wine_exec=$(cd "$(dirname "$0")/../wine" && pwd)/wine_exec.sh
rm -rf "$work" && mkdir -p "$work/rel/sub"
printf 'x' >"$work/rel/sub/a.txt"
failures=0

expect() { # rc text -- args...
  local want_rc=$1 want_text=$2
  shift 3
  local out rc
  out=$("$wine_exec" "$pack" "$@" 2>&1)
  rc=$?
  if [ "$rc" != "$want_rc" ] || [[ "$out" != *"$want_text"* ]]; then
    echo "FAIL: renewkit-pack $*: rc $rc (want $want_rc), output: $out"
    failures=$((failures + 1))
  fi
}

expect 2 "usage: renewkit-pack" -- "Z:$work/rel"
expect 2 "unknown option --zap" -- "Z:$work/rel" "Z:$work/out" --zap 1
expect 1 "release folder not found" -- "Z:$work/none" "Z:$work/out"
expect 1 "inside the release folder" -- "Z:$work/rel" "Z:$work/rel/pub"
expect 0 "1 files packed" -- "Z:$work/rel" "Z:$work/out"
for f in sub/a.txt sub/a.txt._.zip update.xml update.xml._.zip renewkit.main.xml version.xml; do
  [ -f "$work/out/$f" ] || { echo "FAIL: $f was not written"; failures=$((failures + 1)); }
done
[ -d "$work/rel/pub" ] && { echo "FAIL: a folder was made inside the release"; failures=$((failures + 1)); }
grep -q 'path="sub\\a.txt" ver="9dd4e461268c8034f5c8564e155c67a6"' "$work/out/update.xml" ||
  { echo "FAIL: list entry: $(cat "$work/out/update.xml")"; failures=$((failures + 1)); }
rm -rf "$work"
[ "$failures" = 0 ] && echo "pack_cli_test: all passed"
exit "$failures"
