#!/bin/sh
# Runs a test program under Wine with a Russian locale (KOI8-R: Wine then
# maps the Russian keymap's keys to the Windows Russian keys) and the X
# keymap "ru", then gives the display its US keymap back.
set -e
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
locales="$(dirname -- "$1")/locale"
if [ ! -d "$locales/ru_RU.KOI8-R" ]; then
  mkdir -p "$locales"
  localedef -i ru_RU -f KOI8-R "$locales/ru_RU.KOI8-R"
fi
trap 'setxkbmap -layout us' EXIT
setxkbmap -layout ru
unset LC_ALL LC_CTYPE LC_MESSAGES
KORVEX_RUSSIAN_PASS=1 LOCPATH="$locales" LANG=ru_RU.KOI8-R "$here/../../tools/wine-run.sh" "$@"
