#!/usr/bin/env bash
# The Windows zip as a user meets it under Wine: unpacked into a read-only
# folder, "Ulbrasen.exe /run" keeps its files under %APPDATA%\Ulbrasen and
# writes nothing beside itself. Run by scripts/test-package with the
# override capabilities dropped, so that the read-only folder is one for root.
# Usage: portable-zip.sh ZIP
set -uo pipefail
zip=$(realpath "$1")

source "$(dirname "$0")/wine-prefix.sh"

unzip -q "$zip" -d "$scratch/unzipped"
check "the zip holds one folder with Ulbrasen.exe and LIESMICH.txt" "LIESMICH.txt Ulbrasen.exe" \
  "$(cd "$scratch"/unzipped/Ulbrasen-* && echo *)"
check "LIESMICH.txt has Windows line ends" "0" "$(grep -c -v $'\r$' "$scratch"/unzipped/Ulbrasen-*/LIESMICH.txt)"

app="$WINEPREFIX/drive_c/Programme/Ulbrasen"
mkdir -p "$(dirname "$app")" "$WINEPREFIX/drive_c/Bilder"
cp -r "$scratch"/unzipped/Ulbrasen-* "$app"
convert-im6.q16 -size 320x200 xc:'#2050c0' "BMP3:$WINEPREFIX/drive_c/Bilder/blau.bmp"
chmod -R a-w "$app"
check "the program's folder is read-only" "no" "$(touch "$app/probe" 2>/dev/null && echo yes || echo no)"
appdata=$(cd "$WINEPREFIX/drive_c/users" && find "$PWD" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -n1)
files="$appdata/Ulbrasen"

(cd "$app" && wine Ulbrasen.exe /run >"$scratch/out1" 2>&1)
check "first /run exits with 0" "0" "$?"
check "the INI is in %APPDATA%\\Ulbrasen" "1" "$(grep -c '^First=0' "$files/Ulbrasen.ini" 2>/dev/null)"

printf '[Optionen]\r\nAnzVerz=1\r\nVerz1=C:\\Bilder\r\nVerz1/Optionen=A\r\nFirst=0\r\n' >"$files/Ulbrasen.ini"
(cd "$app" && wine Ulbrasen.exe /run >"$scratch/out2" 2>&1)
check "/run exits with 0" "0" "$?"
check "/run prints nothing" "" "$(tr -d '\r' <"$scratch/out2")"
check "the BMP is in %APPDATA%\\Ulbrasen" "yes" "$([ -s "$files/Ulbrasen.bmp" ] && echo yes)"
check "nothing beside Ulbrasen.exe" "LIESMICH.txt Ulbrasen.exe" "$(cd "$app" && echo *)"

chmod -R u+w "$app"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
