#!/bin/bash
# Prepares this machine to build and run the host under Wine: packages, the
# virtual X display and the Wine prefix. Idempotent: a second run only checks.
# Source it (". tools/harness.sh") to keep its environment.
set -e
KORVEX_ROOT=$(CDPATH= cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
. "$KORVEX_ROOT/tools/wine-env.sh"

packages=(g++-mingw-w64-x86-64-posix cmake make googletest wine wine64 xvfb
  xdotool x11-xkb-utils xkb-data x11-utils g++ clang libclang-rt-14-dev
  procps psmisc locales hunspell-en-us hunspell-ru imagemagick nsis)
# Media Foundation's MP3 decoding under Wine, and the encoder of the test MP3.
packages+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good lame)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "harness: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The virtual display; -noreset keeps the keymap between clients.
display_number=${DISPLAY#:}
if ! xdpyinfo >/dev/null 2>&1; then
  rm -f "/tmp/.X${display_number}-lock" "/tmp/.X11-unix/X${display_number}"
  nohup Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset \
    >/tmp/korvex-xvfb.log 2>&1 &
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || { echo "harness: Xvfb did not start" >&2; exit 1; }
fi
setxkbmap -layout us

# The Wine prefix, made once.
if [ ! -f "$WINEPREFIX/.korvex-ready" ]; then
  echo "harness: creating the Wine prefix in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d "" /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.korvex-ready"
fi
# Keep one server between test processes: starting it costs seconds. Its
# system processes are started here, away from any test's output pipe: one
# started by a test keeps that pipe open and CTest waits on it for ever.
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
