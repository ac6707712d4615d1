# Environment of every Wine process of this project (sourced, not run).
# KORVEX_ROOT: the repository; the prefix and build live under its build/.
: "${KORVEX_ROOT:=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE:-$0}")/.." 2>/dev/null && pwd)}"
export KORVEX_ROOT
export DISPLAY="${DISPLAY:-:71}"
export WINEPREFIX="${WINEPREFIX:-$KORVEX_ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
