#!/bin/bash
# Sets up what is missing, builds the program, and packs it into
# build/package/: the installer (korvex-VERSION-win64.exe: NSIS, per user)
# and a portable ZIP of the same files (cmake/packaging.cmake). The install
# test (install_tests) runs the installer under Wine.
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"
KORVEX_BUILD_TESTS=OFF "$root/tools/build.sh" >/dev/null
package="$root/build/package"
rm -rf "$package"
cpack --config "$root/build/win/CPackConfig.cmake" -B "$package" >/dev/null
rm -rf "$package/_CPack_Packages"
installer=$(ls "$package"/korvex-*-win64.exe)
zip=$(ls "$package"/korvex-*-win64.zip)
cmake -E tar tf "$zip" | grep -q '/data/app.so$' ||
  { echo "package: the ZIP lacks the application" >&2; exit 1; }
echo "installer: $installer ($(stat -c %s "$installer") bytes)"
echo "portable:  $zip ($(stat -c %s "$zip") bytes)"
