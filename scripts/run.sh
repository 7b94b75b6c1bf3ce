#!/usr/bin/env bash
# Sets up, builds and starts lanying.exe under Wine. On an X display it simply runs there. Without one it
# starts a private Xvfb, runs the program without arguments, saves a screenshot to build/screenshots/ and says
# where it is.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"

lanying_setup
cmake --preset windows >/dev/null
cmake --build --preset windows --target lanying
exe="$root/build/windows/lanying.exe"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEPREFIX=${WINEPREFIX:-$HOME/.wine-lanying}
  exec wine "$exe" "$@"
fi

trap 'wineserver -k >/dev/null 2>&1; [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null; true' EXIT
start_private_display 1280x800x24
init_private_prefix "$root/build/wine-run"
# A Wine virtual desktop draws the window frames itself, as Windows would, since Xvfb has no window manager.
wine explorer /desktop=lanying,1280x800 "$exe" "$@" >/dev/null 2>&1 &
for _ in $(seq 1 600); do
  xwininfo -root -tree 2>/dev/null | grep -q 'lanying.exe' && break
  sleep 0.1
done
sleep 2  # let the first paint finish
mkdir -p build/screenshots
shot="$root/build/screenshots/lanying-$(date +%Y%m%d-%H%M%S).png"
import -window root "$shot"
echo "screenshot: $shot"
