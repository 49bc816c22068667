#!/usr/bin/env bash
# Runs a Windows test program under Wine in the test run's prefix. ctest uses it
# as the cross-compiling emulator. The prefix is made here when a developer runs
# ctest by hand; scripts/test.sh makes a fresh one for every run.
set -u
export WINEPREFIX=${RENEWKIT_WINEPREFIX:?RENEWKIT_WINEPREFIX is not set}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the updater needs neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (flock 9; [ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
