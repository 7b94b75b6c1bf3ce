#!/usr/bin/env bash
# Screenshots of the user interface at 96 and 144 DPI, for a person to look at: the three pages of the main
# window, the JPEG quality and hotkey dialogs, the tray menu and the preview menu. The UI tests take them
# while they run under Wine (LANYING_SCREENSHOT_DIR), one fresh private prefix per DPI, on a private Xvfb
# display; they end up as build/screenshots/<dpi>dpi/<name>.png.
#
#   scripts/screenshots.sh [BUILD_DIR]
#
# Without BUILD_DIR (or LANYING_BUILD_DIR) the script sets up and builds the windows preset into build/windows
# first, as the test script does. Exits non-zero when a screenshot is missing or has the wrong size.
set -uo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"

build_dir=${1:-${LANYING_BUILD_DIR:-}}
if [ -n "$build_dir" ]; then  # relative to where the script was started
  build_dir=$(cd "$build_dir" 2>/dev/null && pwd) || { echo "no build directory: ${1:-$LANYING_BUILD_DIR}" >&2; exit 1; }
fi
cd "$root" || exit 1
mkdir -p build
if [ -z "$build_dir" ]; then
  lanying_setup || exit 1
  echo "== windows build"
  cmake --preset windows >build/windows-configure.log 2>&1 || { cat build/windows-configure.log; exit 1; }
  cmake --build --preset windows || exit 1
  build_dir=$root/build/windows
fi
for exe in win_tests.exe lanying.exe; do
  [ -f "$build_dir/$exe" ] || { echo "missing $build_dir/$exe" >&2; exit 1; }
done

# The tests that write the screenshots, and the names they write.
tests=(
  MainWindowLayoutTest.ArrowKeysOnTheTabsShowOnePageAtATime                 # page0 page1 page2
  JpgDialogTest.TypedValuesAreClampedSlidersFollowAndOkStoresTheSliders     # jpg_dialog
  HotkeyDialogWindow.ShowsItsControlsAndOnlyOkRunsTheOkHandler              # hotkey_dialog
  MainWindowTest.TrayIconEventsOpenTheTrayMenuBelowRightOfThePointer        # tray_menu
  MainWindowTest.PressingEitherButtonOnThePreviewOpensThePreviewMenu        # preview_menu
)
names=(page0 page1 page2 jpg_dialog hotkey_dialog tray_menu preview_menu)
filter=$(IFS=:; echo "${tests[*]}")
# Outer sizes at 96 DPI of the windows whose size the layout fixes; they must scale with the DPI.
declare -A size96=([page0]=602x400 [page1]=602x400 [page2]=602x400 [jpg_dialog]=296x179 [hotkey_dialog]=349x127)

cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "${LANYING_SCREENSHOT_DISPLAY:-}" ]; then
  # A display number of the caller's choice (several people on one machine).
  [ -e "/tmp/.X${LANYING_SCREENSHOT_DISPLAY#:}-lock" ] && { echo "display $LANYING_SCREENSHOT_DISPLAY is in use" >&2; exit 1; }
  Xvfb "$LANYING_SCREENSHOT_DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do xdpyinfo -display "$LANYING_SCREENSHOT_DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo -display "$LANYING_SCREENSHOT_DISPLAY" >/dev/null 2>&1 || { echo "cannot start Xvfb" >&2; exit 1; }
  export DISPLAY=$LANYING_SCREENSHOT_DISPLAY
else
  start_private_display 1920x1080x24 || exit 1
fi

reg_add() { wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1 || { echo "cannot set $1\\$2" >&2; return 1; }; }

written=()
problems=()
for dpi in 96 144; do
  echo "== ${dpi} DPI"
  prefix_dir=$root/build/screenshots-wine/$dpi
  out_dir=$root/build/screenshots/${dpi}dpi
  init_private_prefix "$prefix_dir"
  # Wine takes the DPI from the user's LogPixels (the machine-wide one is the fallback), read when the
  # server starts. Without a window manager Wine must draw the title bars itself, or they stay empty.
  reg_add 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$dpi" || exit 1
  reg_add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' LogPixels REG_DWORD "$dpi" || exit 1
  reg_add 'HKCU\Software\Wine\X11 Driver' Decorated REG_SZ N || exit 1
  wineserver -k >/dev/null 2>&1
  wineserver -w
  setsid wineserver -p </dev/null >/dev/null 2>&1 &

  bmp_dir=$prefix_dir/bmp
  mkdir -p "$bmp_dir"
  rm -rf "$out_dir"
  mkdir -p "$out_dir"
  log=$prefix_dir/tests.log
  LANYING_SCREENSHOT_DIR=$(winepath -w "$bmp_dir") timeout 900 wine "$build_dir/win_tests.exe" \
    --gtest_filter="$filter" </dev/null >"$log" 2>&1
  rc=$?
  [ "$rc" -eq 0 ] || problems+=("${dpi} DPI: the UI tests failed (exit $rc), see $log")

  for name in "${names[@]}"; do
    bmp=$bmp_dir/$name.bmp png=$out_dir/$name.png
    if [ ! -s "$bmp" ] || ! convert "$bmp" -strip "$png" 2>/dev/null; then
      problems+=("${dpi} DPI: no screenshot $name")
      continue
    fi
    size=$(identify -format '%wx%h' "$png")
    written+=("$png  $size")
    if [ -n "${size96[$name]:-}" ]; then
      w=${size96[$name]%x*} h=${size96[$name]#*x}
      expected="$(( (w * dpi + 48) / 96 ))x$(( (h * dpi + 48) / 96 ))"
      [ "$size" = "$expected" ] || problems+=("${dpi} DPI: $name is $size, not $expected")
    fi
  done
  wineserver -k >/dev/null 2>&1
  wineserver -w
  rm -rf "${prefix_dir:?}/prefix" "${prefix_dir:?}/home"  # over half a gigabyte each; the log and the BMPs stay
done

echo "== screenshots written"
printf '%s\n' "${written[@]}"
if [ ${#problems[@]} -gt 0 ]; then
  echo "== problems"
  printf '%s\n' "${problems[@]}"
fi
# Missing or wrongly sized screenshots fail the run; a failing test alone is reported above.
for p in "${problems[@]}"; do
  case $p in *"tests failed"*) ;; *) exit 1 ;; esac
done
exit 0
