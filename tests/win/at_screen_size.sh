#!/usr/bin/env bash
# Runs some Win32 tests again on a screen of another size: a private Xvfb of that size and a private Wine
# prefix (with its own HOME) of their own, so the main test display and prefix are left as they were.
#
#   at_screen_size.sh WIDTHxHEIGHT WIN_TESTS_EXE GTEST_FILTER
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,6p' "$0" >&2; exit 2; }
size=$1 exe=$2 filter=$3
source "$(dirname "$0")/../../scripts/common.sh"

work=$(mktemp -d "/tmp/lanying-screen-$size.XXXXXX")
cleanup() {
  stop_private_wine
  rm -rf "$work"
}
trap cleanup EXIT
start_private_display "${size}x24" || exit 1
init_private_prefix "$work"
# Wine's first program starts its services, which keep its output open; start them on /dev/null.
wine cmd /c exit </dev/null >/dev/null 2>&1
LANYING_EXPECT_SCREEN_SIZE=$size wine "$exe" --gtest_filter="$filter" </dev/null 2>&1 | grep -v '^ALSA lib'
rc=${PIPESTATUS[0]}
exit "$rc"
