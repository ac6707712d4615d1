#!/bin/bash
# desktop-keeper.sh start path/to/desktop_keeper.exe | stop
# Starts or stops the program that keeps the Wine desktop open between test
# programs (see desktop_keeper.cpp). CTest runs it as a fixture.
set -u
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
. "$here/wine-env.sh"
pid_file="$WINEPREFIX/desktop_keeper.pid"
ready="$WINEPREFIX/desktop_keeper.ready"

# The recorded process, if it is still the keeper (a pid may be reused).
running() {
  [ -f "$pid_file" ] && grep -qa desktop_keeper "/proc/$(cat "$pid_file")/cmdline" 2>/dev/null
}

case "${1:-}" in
start)
  running && exit 0
  # A wine started while the last run's server is going away may end at
  # once: it is started again.
  for _ in 1 2 3; do
    rm -f "$ready"
    # Away from CTest's output pipe: a process left holding it is waited for.
    wine "${2:?keeper program}" "Z:$ready" </dev/null >/dev/null 2>&1 &
    pid=$!
    echo $pid >"$pid_file"
    for _ in $(seq 300); do
      [ -f "$ready" ] && exit 0
      # Not by its command line: that reads empty while wine execs itself.
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    kill $pid 2>/dev/null
    sleep 1
  done
  echo "desktop-keeper: the keeper did not start" >&2
  exit 1 ;;
stop)
  running && kill "$(cat "$pid_file")"
  rm -f "$pid_file" "$ready"
  exit 0 ;;
*)
  echo "usage: $0 start KEEPER.exe | stop" >&2
  exit 2 ;;
esac
