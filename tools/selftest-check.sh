#!/bin/bash
# Runs "korvex.exe --selftest --runs 3" under Wine with no instance running
# and checks its exit code and its log: S1-S3 pass three times each, and the
# end-to-end scenarios are skipped.
set -u
exe=${1:?usage: selftest-check.sh path/to/korvex.exe}
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
. "$here/wine-env.sh"

logs() { find "$WINEPREFIX/drive_c/users" -name korvex_selftest.log 2>/dev/null; }
logs | while read -r f; do rm -f "$f"; done

"$here/wine-run.sh" "$exe" --selftest --runs 3
code=$?
log=$(logs | head -n 1)
[ -n "$log" ] && cat "$log"

status=0
[ "$code" -eq 0 ] || { echo "selftest: exit code $code, expected 0"; status=1; }
for line in "summary S1 typeText: pass=3 fail=0" \
            "summary S2 backspace: pass=3 fail=0" \
            "summary S3 replace (backspace+typeText): pass=3 fail=0" \
            "-- S4-S7 e2e: SKIP (main app not running)" \
            "=== done: total failures = 0 ==="; do
  grep -qF -- "$line" "${log:-/dev/null}" || { echo "selftest: missing line: $line"; status=1; }
done
exit $status
