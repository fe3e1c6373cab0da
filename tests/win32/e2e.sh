#!/usr/bin/env bash
# The real Ulbrasen.exe under Wine, in a prefix of its own: "/run" on a first
# start with a small and then a large picture. Checks the wallpaper file, the
# registry values and the three shortcuts the first start creates.
# Usage: e2e.sh ULBRASEN_EXE E2E_PROBE_EXE
set -uo pipefail
exe=$1
probe=$2

source "$(dirname "$0")/wine-prefix.sh"

app="$WINEPREFIX/drive_c/Zenks"
mkdir -p "$app/Bilder"
cp "$exe" "$app/Ulbrasen.exe"
cp "$probe" "$app/probe.exe"
printf '[Optionen]\r\nAnzVerz=1\r\nVerz1=C:\\Zenks\\Bilder\r\nVerz1/Optionen=A\r\n' >"$app/Ulbrasen.ini"

probe() { (cd "$app" && wine probe.exe "$@" 2>/dev/null | tr -d '\r'); }
# The registry as Wine stores it; written when the server exits.
reg_value() {
  wineserver -w
  awk -v name="\"$1\"" 'tolower($0) ~ /^\[control panel\\\\desktop\]/ {inside = 1; next}
    /^\[/ {inside = 0}
    inside && index($0, name "=") == 1 {sub(/^[^=]*=/, ""); print; exit}' "$WINEPREFIX/user.reg"
}
run_change() { # width height
  rm -f "$app/Bilder/"* "$app/Ulbrasen.bmp"
  probe picture 'C:\Zenks\Bilder\bild.bmp' "$1" "$2"
  (cd "$app" && wine Ulbrasen.exe /run >"$scratch/out" 2>&1)
  check "/run with a $1 x $2 picture exits with 0" "0" "$?"
  check "/run with a $1 x $2 picture prints nothing" "" "$(tr -d '\r' <"$scratch/out")"
  check "Ulbrasen.bmp holds the $1 x $2 picture" "" "$(probe pattern 'C:\Zenks\Ulbrasen.bmp' "$1" "$2")"
  check "Wallpaper names Ulbrasen.bmp ($1 x $2)" '"C:\\Zenks\\Ulbrasen.bmp"' "$(reg_value Wallpaper)"
}

# Wine's prefix names the value, so a missing one would also be noticed.
run_change 100 80
check "TileWallpaper for 100 x 80" '"1"' "$(reg_value TileWallpaper)"

# The first start created the shortcuts, "/run" or not.
change_link='Hintergrundbild wechseln.lnk'
config_link='Hintergrundbildwechsler konfigurieren.lnk'
change_expected=$(printf '%s\n%s\n%s\n%s' 'C:\Zenks\Ulbrasen.exe' '/run' 'C:\Zenks' 'Hintergrundbild wechseln')
config_expected=$(printf '%s\n%s\n%s\n%s' 'C:\Zenks\Ulbrasen.exe' '' 'C:\Zenks' 'Hintergrundbildwechsler konfigurieren')
# Startup and Desktop get the change, Programs the configuration window.
startup=$(probe folder startup)
desktop=$(probe folder desktop)
programs=$(probe folder programs)
check "Startup: change link" "$change_expected" "$(probe link "$startup\\$change_link")"
check "Desktop: change link" "$change_expected" "$(probe link "$desktop\\$change_link")"
check "Programs: configuration link" "$config_expected" "$(probe link "$programs\\$config_link")"
links=$(find "$WINEPREFIX/drive_c" "$HOME" -name '*.lnk' 2>/dev/null)
check "no other links" "3" "$(grep -c -e "$change_link" -e "$config_link" <<<"$links")"
[ "$failures" -eq 0 ] || printf 'links found:\n%s\n' "$links"
check "the first start wrote First=0" "1" "$(grep -c '^First=0' "$app/Ulbrasen.ini")"

run_change 800 600
check "TileWallpaper for 800 x 600" '"0"' "$(reg_value TileWallpaper)"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
