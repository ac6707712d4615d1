#!/bin/bash
# Sets up what is missing, builds, and runs korvex.exe under Wine on the
# virtual display, in the foreground. Ctrl+C (or closing its window) stops it.
# Arguments are passed to korvex.exe.
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"
KORVEX_BUILD_TESTS=OFF "$root/tools/build.sh" >/dev/null
out="$root/build/win/out"
echo "korvex: running $out/korvex.exe on display $DISPLAY; Ctrl+C stops it."
echo "korvex: a second 'tools/wine-run.sh $out/korvex.exe report.kvd' hands report.kvd to it."
cd "$out"
KORVEX_TEST_TIMEOUT=${KORVEX_RUN_SECONDS:-86400} exec "$root/tools/wine-run.sh" ./korvex.exe "$@"
