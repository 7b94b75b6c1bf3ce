#!/usr/bin/env bash
# Start-up time to the tray icon of lanying.exe, as a ratio to a minimal Win32 tray program started the same
# way under the same Wine (private Xvfb and prefix). Usage: bench/startup_bench.sh [runs]
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"
cd "$root"
runs=${1:-15}
lanying_setup
cmake --preset windows >/dev/null
cmake --build --preset windows --target lanying >/dev/null
out="$root/build/bench-startup"
mkdir -p "$out"
cxx=x86_64-w64-mingw32-g++-posix
$cxx -O2 -static -mwindows -o "$out/minimal_tray.exe" bench/minimal_tray.cpp
$cxx -O2 -static -o "$out/startup_probe.exe" bench/startup_probe.cpp
trap 'wineserver -k >/dev/null 2>&1; [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null; true' EXIT
start_private_display 1280x1024x24
init_private_prefix "$out/wine"
wine "$out/startup_probe.exe" "$out/minimal_tray.exe" "minimal tray" 3 >/dev/null  # warm Wine up
base=$(wine "$out/startup_probe.exe" "$out/minimal_tray.exe" "minimal tray" "$runs" | tr -d '\r')
prog=$(wine "$out/startup_probe.exe" "$root/build/windows/lanying.exe" "岚影 - 专业抓图工具 Ver 1.0" "$runs" /s | tr -d '\r')
echo "median start to tray icon over $runs runs: minimal ${base} ms, lanying ${prog} ms"
awk -v a="$prog" -v b="$base" 'BEGIN { printf "ratio lanying / minimal: %.2f\n", a / b }'
