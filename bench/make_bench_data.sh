#!/usr/bin/env bash
# Makes the screenshots the depth benchmarks convert: bench/data/screen-1920x1080.bmp and
# bench/data/screen-3840x2160.bmp, 24-bit bottom-up BMPs of a private Xvfb desktop with a window
# manager, terminals full of anti-aliased coloured text, small X programs and a photo-like picture.
# Files already present are kept; --force makes them again.
#
# Needs (Debian): xvfb twm xterm x11-apps x11-utils imagemagick.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=$here/data
force=0
[ "${1:-}" = "--force" ] && force=1
mkdir -p "$out"

for tool in Xvfb twm xterm xclock xeyes xlogo xdpyinfo import convert display; do
  command -v "$tool" >/dev/null || { echo "make_bench_data.sh: $tool is missing (apt-get install xvfb twm xterm x11-apps x11-utils imagemagick)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_display() {
  local n
  for n in $(seq 91 139); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; return; }
  done
  echo "make_bench_data.sh: no free X display number" >&2
  exit 1
}

# A terminal that shows some text and then stays open.
term() {
  local geometry=$1 colours=$2 size=$3
  shift 3
  xterm -geometry "$geometry" $colours -fa Monospace -fs "$size" -e sh -c "$* ; sleep 3600" &
  pids+=($!)
}

capture() {
  local width=$1 height=$2 file=$out/screen-${1}x${2}.bmp
  if [ -e "$file" ] && [ $force -eq 0 ]; then echo "kept $file"; return; fi
  local n
  n=$(free_display)
  Xvfb ":$n" -screen 0 "${width}x${height}x24" -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  pids+=($xvfb)
  export DISPLAY=:$n
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

  # Desktop: a smooth gradient wallpaper, as most desktops have.
  convert -size "${width}x${height}" gradient:'#1d4e89-#7fb8e6' "$work/wall.png"
  display -window root "$work/wall.png" &
  pids+=($!)
  twm >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5

  # Scale the layout with the screen: the 4K desktop has more and larger windows.
  local s=$((width / 1920))
  local src=$here/../imaging
  term "120x45+20+20" "-bg white -fg black" $((9 * s)) "cat $src/*.cpp $src/*.h"
  term "100x30+$((900 * s))+$((40 * s))" "-bg black -fg grey85" $((10 * s)) \
    "ls -l --color=always /usr/bin | head -60; printf '\033[1;31mred \033[32mgreen \033[34mblue \033[33myellow\033[0m\n'"
  term "90x20+$((60 * s))+$((700 * s))" "-bg #300a24 -fg white" $((10 * s)) "seq 1 400 | column -c 160"
  xclock -geometry "$((200 * s))x$((200 * s))+$((1600 * s))+$((40 * s))" -update 1 &
  pids+=($!)
  xeyes -geometry "$((160 * s))x$((100 * s))+$((1700 * s))+$((300 * s))" &
  pids+=($!)
  xlogo -geometry "$((150 * s))x$((150 * s))+$((1720 * s))+$((450 * s))" &
  pids+=($!)
  # A photo-like picture: fractal plasma, blurred a little as a photo would be.
  convert -size "$((640 * s))x$((420 * s))" -seed 7 plasma:fractal -blur 0x1 "$work/photo.png"
  display -geometry "+$((1000 * s))+$((560 * s))" "$work/photo.png" &
  pids+=($!)

  sleep 3
  import -window root -display ":$n" "$work/shot.png"
  # BMP3 = the classic 40-byte header; TrueColor without alpha = 24 bits, rows bottom-up.
  convert "$work/shot.png" -alpha off -type TrueColor "BMP3:$file.part"
  mv "$file.part" "$file"
  echo "made $file ($(identify -format '%wx%h %[bit-depth]-bit %[type]' "$file"))"

  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
}

capture 1920 1080
capture 3840 2160
