#!/usr/bin/env bash
# Capture speed under Wine on Xvfb at 1920x1080 and 3840x2160, beside scrot's full-screen capture on the
# same display in the same run. Not a test: it prints figures.
#
#   bash bench/capture_bench.sh [windows-build-dir] [runs]
#
# For each size it starts a private Xvfb and Wine prefix and runs win_tests.exe in its measuring mode
# (tests/win/capture_bench_mode.cpp), which reports, as median and minimum of `runs`:
#   trigger_to_frozen_screen_shown   RunCaptureSession called -> the overlay shows the frozen screen
#                                    (window not hidden, so no 500 ms wait)
#   release_to_tempcapture_written   left button released on the selection board (a selection of almost the
#                                    whole screen) -> temp.bmp written
#   release_to_saved_<ext>           the same release -> the automatically saved file in place (written
#                                    aside and renamed, so complete and closed): PNG, JPG at quality 75,
#                                    BMP at 8 bits, GIF
# then times `scrot` (Debian package scrot) writing the whole screen as BMP, PNG and JPG, and prints the
# ratios of the capture figures to scrot's BMP time and of the save figures to scrot's time for the same
# kind of file (GIF beside scrot's PNG).
#
# The prefix turns off Wine's window-manager management ("Managed" = "N"): on a bare X server Wine otherwise
# waits two seconds for a window manager whenever a full-screen window disappears, which measures Wine's
# wait, not the capture.
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"

build=${1:-$root/build/windows}
runs=${2:-10}
exe=$build/win_tests.exe
[ -f "$exe" ] || { echo "no $exe: build the windows preset first" >&2; exit 1; }
command -v scrot >/dev/null || { echo "scrot is missing (apt-get install scrot)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/capture-bench.XXXXXX)
cleanup() {
  stop_private_wine
  rm -rf "$work"
}
trap cleanup EXIT

# median and minimum of the numbers on stdin (milliseconds)
stats() { sort -n | awk '{v[NR]=$1} END {if (NR) printf "%.1f %.1f\n", v[int((NR+1)/2)], v[1]; else print "nan nan"}'; }

scrot_ms() {  # file extension
  local i t0 t1
  scrot -o "$work/warm.$1" >/dev/null 2>&1
  for i in $(seq 1 "$runs"); do
    t0=$(date +%s%N)
    scrot -o "$work/shot.$1" >/dev/null 2>&1
    t1=$(date +%s%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", (b - a) / 1e6 }'
  done | stats
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "nan" }'; }

# "name runs=N median_ms=M min_ms=m" of the measuring mode -> "M m"
figure() { echo "$out" | sed -n "s/^$1 .*median_ms=\([0-9.]*\) min_ms=\([0-9.]*\)/\1 \2/p"; }
row() { printf '%-10s %-34s %10s %10s\n' "$@"; }

row size measure median_ms min_ms
for size in 1920x1080 3840x2160; do
  start_private_display "${size}x24" || exit 1
  init_private_prefix "$work/wine-$size"
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

  out=$(cd "$build" && wine win_tests.exe "--capture-bench=$runs" 2>/dev/null | tr -d '\r')
  echo "$out" | grep -q '^screen '"$size"'$' || { echo "measuring mode failed at $size:"; echo "$out"; exit 1; }
  declare -A med=() min=()
  for m in trigger_to_frozen_screen_shown release_to_tempcapture_written \
           release_to_saved_png release_to_saved_jpg release_to_saved_bmp release_to_saved_gif; do
    read -r med[$m] min[$m] < <(figure "$m")
    [ -n "${med[$m]:-}" ] || { echo "no figure for $m at $size (the measuring mode said:)"; echo "$out"; exit 1; }
  done
  for ext in bmp png jpg; do read -r med[scrot_$ext] min[scrot_$ext] < <(scrot_ms "$ext"); done

  for m in trigger_to_frozen_screen_shown release_to_tempcapture_written; do row "$size" "$m" "${med[$m]}" "${min[$m]}"; done
  row "$size" "release_to_saved_png" "${med[release_to_saved_png]}" "${min[release_to_saved_png]}"
  row "$size" "release_to_saved_jpg (quality 75)" "${med[release_to_saved_jpg]}" "${min[release_to_saved_jpg]}"
  row "$size" "release_to_saved_bmp (8-bit)" "${med[release_to_saved_bmp]}" "${min[release_to_saved_bmp]}"
  row "$size" "release_to_saved_gif" "${med[release_to_saved_gif]}" "${min[release_to_saved_gif]}"
  for ext in bmp png jpg; do row "$size" "scrot full screen to ${ext^^}" "${med[scrot_$ext]}" "${min[scrot_$ext]}"; done
  printf '%-10s ratios of medians: trigger/scrot-bmp %s, release-to-temp/scrot-bmp %s,\n' "$size" \
    "$(ratio "${med[trigger_to_frozen_screen_shown]}" "${med[scrot_bmp]}")" \
    "$(ratio "${med[release_to_tempcapture_written]}" "${med[scrot_bmp]}")"
  printf '%-10s   saved png/scrot-png %s, jpg/scrot-jpg %s, bmp8/scrot-bmp %s, gif/scrot-png %s\n' "$size" \
    "$(ratio "${med[release_to_saved_png]}" "${med[scrot_png]}")" \
    "$(ratio "${med[release_to_saved_jpg]}" "${med[scrot_jpg]}")" \
    "$(ratio "${med[release_to_saved_bmp]}" "${med[scrot_bmp]}")" \
    "$(ratio "${med[release_to_saved_gif]}" "${med[scrot_png]}")"

  wineserver -k >/dev/null 2>&1
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
done
