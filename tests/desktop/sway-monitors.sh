#!/usr/bin/env bash
# The real program under a headless sway with two outputs of different sizes
# and the option "EigenesBildJeBildschirm": each output's background must be
# its own file, read back with grim. sway refuses to run as root, so sway and
# the program run as "nobody" in a folder of their own.
set -euo pipefail
ulbrasen=$1
for tool in sway swaymsg swaybg grim runuser convert-im6.q16; do
  command -v "$tool" >/dev/null || { echo "sway-monitors: $tool is missing"; exit 1; }
done

tmp=$(mktemp -d)
sway_pid=""
cleanup() {
  [ -n "$sway_pid" ] && kill -TERM -- "-$sway_pid" 2>/dev/null || true
  [ -n "$sway_pid" ] && wait "$sway_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"
mkdir -p "$tmp/home" "$tmp/run" "$tmp/bin" "$tmp/bilder"
chmod 700 "$tmp/run"
cp "$ulbrasen" "$tmp/bin/ulbrasen"
# Two pictures of different sizes, neither of them a tile.
convert-im6.q16 -size 300x200 gradient:red-blue "BMP3:$tmp/bilder/a.bmp"
convert-im6.q16 -size 400x300 plasma:fractal -seed 7 "BMP3:$tmp/bilder/b.bmp" 2>/dev/null ||
  convert-im6.q16 -size 400x300 gradient:green-yellow "BMP3:$tmp/bilder/b.bmp"
printf '[Optionen]\nAnzVerz=1\nVerz1=%s\nVerz1/Optionen=A\nFirst=0\nAutowandlung_Groesse=1\nEigenesBildJeBildschirm=1\n' \
  "$tmp/bilder" >"$tmp/bin/ulbrasen.ini"
printf 'xwayland disable\noutput * bg #000000 solid_color\n' >"$tmp/config"
chown -R nobody:nogroup "$tmp"

as_nobody() {
  runuser -u nobody -- env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" \
    XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share" "$@"
}
# A session of its own, so that sway and its swaybg end with one signal.
setsid runuser -u nobody -- env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  sway -c "$tmp/config" >"$tmp/sway.log" 2>&1 &
sway_pid=$!
sock=""
for _ in $(seq 100); do
  sock=$(ls "$tmp/run"/sway-ipc.*.sock 2>/dev/null | head -n1 || true)
  [ -n "$sock" ] && break
  sleep 0.1
done
[ -n "$sock" ] || { echo "sway-monitors: sway did not start"; cat "$tmp/sway.log"; exit 1; }
wl=$(basename "$(ls "$tmp/run"/wayland-? "$tmp/run"/wayland-?? 2>/dev/null | head -n1)")
msg() { as_nobody env SWAYSOCK="$sock" swaymsg "$@" >/dev/null; }
msg -- create_output
msg -- output HEADLESS-1 mode --custom 1920x1080 position 0 0
msg -- output HEADLESS-2 mode --custom 1280x1024 position 1920 480

as_nobody env SWAYSOCK="$sock" XDG_CURRENT_DESKTOP=sway "$tmp/bin/ulbrasen" /run

status=0
declare -A file=([HEADLESS-1]="$tmp/bin/ulbrasen.bmp" [HEADLESS-2]="$tmp/bin/ulbrasen-2.bmp")
declare -A size=([HEADLESS-1]=1920x1080 [HEADLESS-2]=1280x1024)
for out in HEADLESS-1 HEADLESS-2; do
  [ -f "${file[$out]}" ] || { echo "sway-monitors: ${file[$out]} missing"; status=1; continue; }
  got=$(convert-im6.q16 "${file[$out]}" -format '%wx%h' info:)
  [ "$got" = "${size[$out]}" ] || { echo "sway-monitors: ${file[$out]} is $got, not ${size[$out]}"; status=1; }
  convert-im6.q16 "${file[$out]}" -depth 8 "rgb:$tmp/want-$out.rgb"
  # swaybg draws a moment after the command: wait for the expected pixels.
  same=no
  for _ in $(seq 50); do
    as_nobody env SWAYSOCK="$sock" WAYLAND_DISPLAY="$wl" grim -o "$out" "$tmp/shot.png" 2>/dev/null || true
    if [ -f "$tmp/shot.png" ]; then
      convert-im6.q16 "$tmp/shot.png" -alpha off -depth 8 "rgb:$tmp/got-$out.rgb"
      cmp -s "$tmp/want-$out.rgb" "$tmp/got-$out.rgb" && { same=yes; break; }
    fi
    sleep 0.2
  done
  [ "$same" = yes ] || { echo "sway-monitors: $out does not show ${file[$out]}"; status=1; }
done
cmp -s "$tmp/bin/ulbrasen.bmp" "$tmp/bin/ulbrasen-2.bmp" && { echo "sway-monitors: one picture for both"; status=1; }
exit $status
