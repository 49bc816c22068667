#!/usr/bin/env bash
# Runs a Windows test program under Wine in the test run's prefix. ctest uses it
# as the cross-compiling emulator. The prefix is made here when a developer runs
# ctest by hand; scripts/test.sh makes a fresh one for every run.
set -u
export WINEPREFIX=${RENEWKIT_WINEPREFIX:?RENEWKIT_WINEPREFIX is not set}
export WINEDEBUG=${WINEDEBUG:--all}
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
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
