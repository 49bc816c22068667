#!/usr/bin/env bash
# Starts or stops what a test run shares: a fresh Wine prefix with a persistent
# wineserver (a program then starts in about 0.1 s instead of 2-3 s) and an Xvfb
# display for the windows. Every process is stopped by its own pid.
#   session.sh start STATE_DIR PREFIX   -> prints the lines to source
#   session.sh stop STATE_DIR
set -euo pipefail
cmd=$1 state=$2

case $cmd in
start)
  prefix=$3
  mkdir -p "$state"
  display=""
  for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
  done
  [ -n "$display" ] || { echo "session: no free X display" >&2; exit 1; }
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  export DISPLAY=":$display"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineserver -f -p >"$state/wineserver.log" 2>&1 &
  echo $! >"$state/wineserver.pid"
  # The prefix's background services start here, with their output in a log:
  # started by a test instead, they would hold the test's output pipe open.
  wineboot --init >"$state/wineboot.log" 2>&1
  echo "export DISPLAY=:$display WINEPREFIX=$prefix RENEWKIT_WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=\"mscoree,mshtml=\""
  ;;
stop)
  for name in wineserver xvfb; do
    if [ -f "$state/$name.pid" ]; then
      pid=$(cat "$state/$name.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
      rm -f "$state/$name.pid"
    fi
  done
  ;;
*)
  echo "usage: session.sh start STATE_DIR PREFIX | stop STATE_DIR" >&2; exit 2 ;;
esac
