# Shared by the run and test scripts: set-up, dependency cache, private X display and Wine prefix.
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

lanying_setup() {
  bash "$root/scripts/setup-packages.sh"
  LANYING_DEPS_PREFIX=$(bash "$root/scripts/build-deps-windows.sh" | tail -n 1)
  export LANYING_DEPS_PREFIX
}

# Starts Xvfb on the first free display number from 90; sets DISPLAY and xvfb_pid.
start_private_display() {
  local size=${1:-1280x1024x24} n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then export DISPLAY=":$n"; return 0; fi
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "cannot start Xvfb" >&2
  return 1
}

# A fresh Wine prefix with its own HOME (Wine links Desktop and Documents to HOME), GBK code page.
init_private_prefix() {
  local dir=$1
  rm -rf "$dir"
  mkdir -p "$dir/home"
  export WINEPREFIX="$dir/prefix" HOME="$dir/home" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # A persistent server: otherwise every test program pays for a server start and shutdown (seconds each).
  setsid wineserver -p </dev/null >/dev/null 2>&1 &
}

# Stops the Wine server of the current prefix and the Xvfb that start_private_display started.
stop_private_wine() {
  wineserver -k >/dev/null 2>&1
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
