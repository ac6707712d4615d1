#!/bin/bash
# Builds and runs the benchmarks under Wine; they print their own figures.
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"
"$root/tools/build.sh" >/dev/null
cp -f "$root/build/win/out/flutter_windows.dll" "$root/build/win/bench/" 2>/dev/null || true
cd "$root/build/win/bench"
"$root/tools/wine-run.sh" ./type_text_bench.exe
