#!/usr/bin/env bash
# Runs a Windows test program under Wine in the test run's prefix. ctest uses it
# as the cross-compiling emulator. The prefix is made here when a developer runs
# ctest by hand; scripts/test.sh makes a fresh one for every run.
set -u
export WINEPREFIX=${RENEWKIT_WINEPREFIX:?RENEWKIT_WINEPREFIX is not set}
# Quiet, but for the errors that explain a program that ends before it could
# print anything (a library that did not load or start, an exception).
export WINEDEBUG=${RK_WINEDEBUG:--all,err+module,err+process,err+seh,err+winstation,err+loaddll}
# No Mono or Gecko installers: the updater needs neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The registry files appear only when the server saves them; the system folder
# is there as soon as the prefix is made.
if [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # fd 9 is closed for wineboot: the services it leaves running must not hold the lock.
  (flock 9; [ -d "$WINEPREFIX/drive_c/windows/system32" ] || wineboot --init >/dev/null 2>&1 9>&-) 9>"$WINEPREFIX.lock"
fi
# The program's output goes through a file: a Wine helper that the program
# starts (a desktop, a debugger) inherits its output handles and could hold
# ctest's pipe open long after the program ended. The file stays for a look
# when ctest had to kill a hung program.
out_dir="$WINEPREFIX.output"
mkdir -p "$out_dir"
name=$(printf '%s' "${*: -1}" | tr -c 'A-Za-z0-9._-' '_' | cut -c1-120)
out="$out_dir/$name.$$.log"
started=$(date +%s.%N)
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
elapsed=$(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $started }")
# About one start in three thousand under a busy shared wineserver ends at
# once (0.05 s) with exit code 1 and no output at all: not the test
# framework's first line, not one of Wine's own error lines enabled above.
# Such a start never reached the program's main, so it says nothing about the
# program: it is made once more, and both starts are reported.
if [ $rc -ne 0 ] && [ ! -s "$out" ] && awk "BEGIN { exit !($elapsed < 0.5) }"; then
  printf 'wine_exec: the start ended with exit code %d after %s s before the program printed anything; starting it again\n' \
    "$rc" "$elapsed"
  printf '%s %s exit %d after %s s\n' "$(date +%H:%M:%S)" "${*: -1}" "$rc" "$elapsed" >>"$out_dir/lost-starts.log"
  started=$(date +%s.%N)
  wine "$@" >"$out" 2>&1 </dev/null
  rc=$?
  elapsed=$(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $started }")
fi
cat "$out"
# A test that had to start a program of its own once more (the test host that
# left no record) says so in its output; a passing case's output is not kept,
# so the line is also noted here for the run's summary.
if grep -q 'is started once more' "$out"; then
  awk -v when="$(date +%H:%M:%S)" -v what="${*: -1}" '/is started once more/ { print when, what ": " $0 }' "$out" \
    >>"$out_dir/starts-made-again.log"
fi
if [ $rc -ne 0 ]; then
  printf 'wine_exec: %s ended with exit code %d (0x%08x) after %s s\n' "${*: -1}" "$rc" "$rc" "$elapsed"
  if [ ! -s "$out" ]; then
    # Nothing at all came out twice: start it once more with Wine's process
    # tracing, to see where such a start ends. The case still fails.
    echo "wine_exec: no output; a further start with Wine's process tracing follows"
    WINEDEBUG=err+all,+process,+loaddll,+seh wine "$@" >"$out.trace" 2>&1 </dev/null
    rc2=$?
    tail -n 200 "$out.trace"
    rm -f "$out.trace"
    echo "wine_exec: the traced start ended with exit code $rc2"
  fi
fi
rm -f "$out"
exit $rc
