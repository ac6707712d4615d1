#!/bin/bash
# Builds and runs the benchmarks under Wine; they print their own figures.
# usage: tools/bench.sh [type_text|record_codec]...   (default: all)
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"
"$root/tools/build.sh" >/dev/null
cp -f "$root/build/win/out/flutter_windows.dll" "$root/build/win/bench/" 2>/dev/null || true
cd "$root/build/win/bench"
benches=("$@")
[ ${#benches[@]} -gt 0 ] || benches=(type_text record_codec)
for bench in "${benches[@]}"; do
  echo "== $bench"
  "$root/tools/wine-run.sh" "./${bench}_bench.exe"
done
