# Environment of every Wine process of this project (sourced, not run).
# KORVEX_ROOT: the repository; the prefix and build live under its build/.
: "${KORVEX_ROOT:=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE:-$0}")/.." 2>/dev/null && pwd)}"
export KORVEX_ROOT
# A work tree may name its own display in build/display, so that trees
# tested side by side do not type into each other's windows.
export DISPLAY="${DISPLAY:-$(cat "$KORVEX_ROOT/build/display" 2>/dev/null || echo :71)}"
export WINEPREFIX="${WINEPREFIX:-$KORVEX_ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No .desktop files in the Linux home for the shortcuts an installer makes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
export WINEARCH=win64
