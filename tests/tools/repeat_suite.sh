#!/usr/bin/env bash
# Runs the whole ctest suite N times in a row, each time from a fresh Wine
# prefix (as scripts/test.sh does), and prints each run's time, the median and
# the slowest run against it, and every failed or slow test case.
#   tests/tools/repeat_suite.sh [N] [BUILD_DIR] [ctest args...]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-20}
build=${2:-$root/build/cross}
shift $(( $# < 2 ? $# : 2 ))
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
out="$build/repeat-suite"
rm -rf "$out" && mkdir -p "$out"
times=()
failed_runs=0
for i in $(seq "$runs"); do
  state="$out/session-$i"
  eval "$("$root/tests/wine/session.sh" start "$state" "$build/wineprefix")"
  start=$(date +%s.%N)
  ctest --test-dir "$build" --output-on-failure -j 2 "$@" >"$out/run-$i.log" 2>&1
  rc=$?
  end=$(date +%s.%N)
  # Starts that Wine lost before the program's main (tests/wine/wine_exec.sh).
  lost=$(cat "$build/wineprefix.output/lost-starts.log" 2>/dev/null | wc -l)
  # Test hosts that left no record and were started once more by their test.
  again=$(cat "$build/wineprefix.output/starts-made-again.log" 2>/dev/null | wc -l)
  for log in lost-starts starts-made-again; do
    cp "$build/wineprefix.output/$log.log" "$out/$log-$i.log" 2>/dev/null
  done
  "$root/tests/wine/session.sh" stop "$state"
  t=$(python3 -c "print(f'{$end - $start:.1f}')")
  times+=("$t")
  slowest=$(grep -E 'Test +#[0-9]+: .* sec$' "$out/run-$i.log" | awk '{print $(NF-1), $4}' | sort -rn | head -n 1)
  echo "run $i: ${t} s, ctest exit $rc, starts lost and made again: $lost, test hosts started once more: $again, slowest case: $slowest"
  if [ $rc -ne 0 ]; then
    failed_runs=$((failed_runs + 1))
    grep -E '\*\*\*|Failed|Not Run|Timeout' "$out/run-$i.log" | sed 's/^/    /'
  fi
done
python3 - "${times[@]}" <<'PY'
import statistics, sys
t = [float(x) for x in sys.argv[1:]]
m = statistics.median(t)
print(f"runs {len(t)}, median {m:.1f} s, fastest {min(t):.1f} s, slowest {max(t):.1f} s ({max(t) / m:.2f} x median)")
PY
echo "runs with a failure: $failed_runs"
[ "$failed_runs" -eq 0 ]
