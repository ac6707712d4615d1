#!/bin/bash
# Sets up what is missing, builds, and shows the product at work on the
# virtual display: korvex.exe with its application, an editor window, a
# sentence typed on the wrong layout with physical keys (xdotool), what was
# typed and what the editor holds after the repairs, and a screenshot with
# the program's icon and its menu open.
#   tools/run.sh                 the demonstration
#   tools/run.sh --plain [ARGS]  korvex.exe in the foreground, ARGS passed on;
#                                Ctrl+C (or Quit in its icon's menu) stops it
set -e
root=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/harness.sh"
KORVEX_BUILD_TESTS=OFF "$root/tools/build.sh" >/dev/null
out="$root/build/win/out"

if [ "${1:-}" = "--plain" ]; then
  shift
  echo "korvex: running $out/korvex.exe on display $DISPLAY; Ctrl+C stops it."
  echo "korvex: a second 'tools/wine-run.sh $out/korvex.exe report.kvd' hands report.kvd to it."
  cd "$out"
  KORVEX_TEST_TIMEOUT=${KORVEX_RUN_SECONDS:-86400} exec "$root/tools/wine-run.sh" ./korvex.exe "$@"
fi

demo="$root/build/demo"
mkdir -p "$demo"
app_log="$demo/app.log" text_file="$demo/editor.txt" shot="$demo/korvex-demo.png"
rm -f "$app_log" "$text_file" "$shot"
typed="hello ghbdtn vbh rfr ltkf "
expected="hello привет мир как дела "
pids=()
# Only its own: the harness may have started the display from this shell.
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait "${pids[@]}" 2>/dev/null || true; }
trap cleanup EXIT

echo "korvex: starting korvex.exe with its application on display $DISPLAY"
(cd "$out" && KORVEX_APP_LOG=$(winepath -w "$app_log") KORVEX_TEST_TIMEOUT=300 \
  "$root/tools/wine-run.sh" ./korvex.exe) &
pids+=($!)
for _ in $(seq 300); do grep -q '^fileOpenReady ' "$app_log" 2>/dev/null && break; sleep 0.1; done
grep -q '^fileOpenReady ' "$app_log" 2>/dev/null || { echo "korvex: the application did not start" >&2; exit 1; }

echo "korvex: opening an editor"
KORVEX_TEST_TIMEOUT=300 "$root/tools/wine-run.sh" "$root/build/win/demo/demo_editor.exe" \
  "$(winepath -w "$text_file")" &
pids+=($!)
window=
for _ in $(seq 100); do
  window=$(xdotool search --name '^korvex-demo-editor$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "korvex: no editor window" >&2; exit 1; }
xdotool windowfocus --sync "$window"
sleep 0.5

echo "korvex: typing with the US layout, as someone who meant Russian: $typed"
xdotool type --delay 90 "$typed"
for _ in $(seq 50); do [ "$(cat "$text_file" 2>/dev/null)" = "$expected" ] && break; sleep 0.1; done

# Without a window manager or an X system tray, Wine's explorer draws the
# notification area as a small window of its own at the top left.
tray=$(xdotool search --name '^Wine System Tray$' 2>/dev/null | head -n 1 || true)
if [ -n "$tray" ]; then
  echo "korvex: right-clicking its icon in the notification area"
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  # On its right edge: the menu opens there and leaves the icon in sight.
  xdotool mousemove $((X + HEIGHT - 2)) $((Y + HEIGHT / 2)) click 3
  for _ in $(seq 50); do grep -q '^menu ' "$app_log" 2>/dev/null && break; sleep 0.1; done
  sleep 0.5
fi
import -window root "$shot"

holds=$(cat "$text_file" 2>/dev/null || true)
echo "typed:             $typed"
echo "the editor holds:  $holds"
grep -E '^(repaired|converted) ' "$app_log" | sed 's/^/application: /' || true
echo "the icon says:     $(grep '^tray ' "$app_log" | tail -n 1 | cut -d' ' -f3-)"
echo "its menu offers:   $(grep '^menu ' "$app_log" | tail -n 1 | cut -d' ' -f2-)"
echo "screenshot:        $shot"
[ "$holds" = "$expected" ]
