#!/usr/bin/env bash
# Starts or stops what a test run shares: a fresh Wine prefix with a persistent
# wineserver (a program then starts in about 0.1 s instead of 2-3 s) and an Xvfb
# display for the windows. Every process is stopped by its own pid, and every
# Wine process of the prefix goes with its server: a Wine program whose server
# was killed under it can live on for ever, holding the prefix's services.
#   session.sh start STATE_DIR PREFIX   -> prints the lines to source
#   session.sh stop STATE_DIR
set -euo pipefail
cmd=$1 state=$2

# Wine processes (services, devices, desktop, tests) that run in the prefix;
# the shells and ctest of the run carry the same variable but are not Wine.
prefix_processes() {
  local want="WINEPREFIX=$1" pid exe
  for pid in $(pgrep -u "$(id -u)" . 2>/dev/null); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
    case ${exe##*/} in wine*) ;; *) continue ;; esac
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "$want"; then echo "$pid"; fi
  done
}

# Ends every Wine process of the prefix: the server's own shutdown first, which
# also ends its clients, then whatever a dead server left behind.
end_prefix() {
  local prefix=$1 server_pid=${2:-}
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    WINEPREFIX=$prefix timeout 20 wineserver -k >/dev/null 2>&1 || true
    for _ in $(seq 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$server_pid" 2>/dev/null || true
  fi
  local left
  left=$(prefix_processes "$prefix")
  if [ -n "$left" ]; then
    kill -9 $left 2>/dev/null || true
  fi
}

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
  echo "$prefix" >"$state/prefix"
  # Left over from a run that was killed before it could stop its session.
  end_prefix "$prefix"
  rm -rf "$prefix" "$prefix.output"
  mkdir -p "$prefix"
  wineserver -f -p >"$state/wineserver.log" 2>&1 &
  echo $! >"$state/wineserver.pid"
  # The prefix's background services start here, with their output in a log:
  # started by a test instead, they would hold the test's output pipe open.
  wineboot --init >"$state/wineboot.log" 2>&1
  # One program stays on the desktop for the whole run. Wine closes an unused
  # desktop within seconds and the next program to start opens it again: the
  # desktop process then holds that program's output pipe, and ctest waits for
  # it (a one-second test took 100 s), or a program that starts while the
  # desktop closes fails at once without a word.
  rm -f "$state/keeper.fifo" && mkfifo "$state/keeper.fifo"
  sleep 86400 >"$state/keeper.fifo" &
  echo $! >"$state/keeper-input.pid"
  wine cmd.exe /c "set /p keep=" <"$state/keeper.fifo" >"$state/keeper.log" 2>&1 &
  echo $! >"$state/keeper.pid"
  echo "export DISPLAY=:$display WINEPREFIX=$prefix RENEWKIT_WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=\"mscoree,mshtml=\""
  ;;
stop)
  if [ -f "$state/prefix" ]; then
    end_prefix "$(cat "$state/prefix")" "$(cat "$state/wineserver.pid" 2>/dev/null || true)"
  fi
  for name in keeper-input keeper wineserver xvfb; do
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
