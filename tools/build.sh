#!/bin/bash
# Cross-builds the program and its tests into build/win (output folder:
# build/win/out). Needs the harness's packages.
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$root" -B "$root/build/win" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="${KORVEX_BUILD_TESTS:-ON}" >/dev/null
cmake --build "$root/build/win" -j"$(nproc)"
