#!/usr/bin/env bash
# The configuration window of the real Ulbrasen.exe under Wine, inside a Wine
# virtual desktop: its title and client size, and that closing it ends the
# program. Uses $DISPLAY, or an Xvfb of its own when none is set.
# Usage: gui.sh ULBRASEN_EXE E2E_PROBE_EXE
set -uo pipefail
exe=$1
probe=$2

source "$(dirname "$0")/wine-prefix.sh"

if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null; cleanup_prefix' EXIT
  for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$scratch/display")"
fi

app="$WINEPREFIX/drive_c/Zenks"
mkdir -p "$app"
cp "$exe" "$app/Ulbrasen.exe"
cp "$probe" "$app/probe.exe"
# Not a first start: no shortcuts, no questions.
printf '[Optionen]\r\nFirst=0\r\n' >"$app/Ulbrasen.ini"

cd "$app"
wine explorer /desktop=Zenks,1024x768 Ulbrasen.exe >"$scratch/out" 2>&1 &
program=$!
# The helper must live on the same virtual desktop to find the window.
size=$(wine explorer /desktop=Zenks,1024x768 probe.exe window "Zenks Hintergrundwechsler V1.0" 60 2>/dev/null | tr -d '\r')
check "the window titled \"Zenks Hintergrundwechsler V1.0\" has a 546 x 460 client area" "546x460" "$size"

ended=no
for _ in $(seq 100); do
  kill -0 "$program" 2>/dev/null || { ended=yes; break; }
  sleep 0.1
done
check "closing the window ends the program" "yes" "$ended"
[ "$ended" = yes ] || kill "$program" 2>/dev/null

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
