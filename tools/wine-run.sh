#!/bin/sh
# Runs a cross-built Windows program under Wine, with the built DLLs on the
# search path. CTest uses it as the cross-compiling emulator.
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
. "$here/wine-env.sh"
exec timeout --kill-after=10 "${KORVEX_TEST_TIMEOUT:-300}" wine "$@"
