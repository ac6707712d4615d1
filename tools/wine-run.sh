#!/bin/sh
# Runs a cross-built Windows program under Wine, with the built DLLs on the
# search path. CTest uses it as the cross-compiling emulator.
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
. "$here/wine-env.sh"
run() { timeout --kill-after=10 "${KORVEX_TEST_TIMEOUT:-300}" wine "$@"; }
# Now and then wine ends within milliseconds without running the program at
# all; no program of ours gets that far that fast, so it is started again.
start=$(date +%s%N)
run "$@"
status=$?
took_ms=$(( ($(date +%s%N) - start) / 1000000 ))
if [ "$status" -ne 0 ] && [ "$took_ms" -lt 100 ]; then
  echo "wine-run: wine ended after $took_ms ms with status $status; starting it again" >&2
  run "$@"
  status=$?
fi
exit $status
