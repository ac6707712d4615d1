#!/bin/bash
# Sets up what is missing, builds, and runs every test: the portable codec
# natively with AddressSanitizer and UBSan, everything else under Wine.
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"

status=0
echo "== native codec tests (ASan, UBSan)"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/native" >/dev/null
cmake --build "$root/build/native" -j"$(nproc)"
(cd "$root/build/native" && ctest --output-on-failure) || status=1

echo "== Windows build and tests under Wine"
"$root/tools/build.sh"
(cd "$root/build/win" && ctest --output-on-failure --timeout 600) || status=1

if [ "$status" -ne 0 ]; then
  echo "tests failed" >&2
fi
exit "$status"
