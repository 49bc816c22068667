#!/usr/bin/env bash
# Sets up what is missing, builds, checks the format and runs every test under
# Wine: one fresh prefix for the run, a persistent wineserver and an Xvfb
# display, all stopped by their pids at the end, also when a test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RENEWKIT_BUILD_DIR:-$root/build/cross}
# Wine keeps per-user state under HOME; a bare CI environment may not set it.
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

echo "test: checking the format"
(cd "$root" && git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror)
echo "test: checking the include layers"
python3 "$root/tests/tools/check_layers.py" "$root"

state="$build/test-session"
trap '"$root/tests/wine/session.sh" stop "$state"' EXIT
eval "$("$root/tests/wine/session.sh" start "$state" "$build/wineprefix")"
rc=0
ctest --test-dir "$build" --output-on-failure -j 2 "$@" || rc=$?
# Starts that were made again, by the Wine wrapper or by a test: they pass
# quietly, so they are named here.
for log in lost-starts starts-made-again; do
  file="$build/wineprefix.output/$log.log"
  echo "test: $log: $(cat "$file" 2>/dev/null | wc -l)"
  if [ -s "$file" ]; then sed 's/^/    /' "$file"; fi
done
exit $rc
