# Sourced by the Wine test scripts: a fresh 64-bit prefix and a scratch HOME
# (the prefix's Desktop is a link into it) in a temporary folder, removed
# again together with the prefix's Wine server on exit.
scratch=$(mktemp -d /tmp/zenks-wine-test.XXXXXX)
export WINEPREFIX="$scratch/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$scratch/home"
mkdir -p "$HOME"
cleanup_prefix() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup_prefix EXIT
wineboot -i >/dev/null 2>&1
wineserver -w

failures=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  else
    printf 'ok   %s\n' "$1"
  fi
}
