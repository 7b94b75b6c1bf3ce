#!/usr/bin/env bash
# Sets up, builds both presets and runs every test: the portable core natively (ASan+UBSan), then the Win32
# tests under Wine on a private Xvfb display with a fresh private prefix. Exits non-zero on any failure.
set -uo pipefail
source "$(dirname "$0")/common.sh"
cd "$root"

lanying_setup || exit 1

summary=()
failed_any=0
run_ctest() {  # preset, log
  ctest --preset "$1" 2>&1 | tee "$2"
  local rc=${PIPESTATUS[0]}
  summary+=("$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$2" | tail -n 1)")
  [ "$rc" -eq 0 ] || failed_any=1
}

mkdir -p build
echo "== native build"
cmake --preset native >build/native-configure.log 2>&1 || { cat build/native-configure.log; exit 1; }
cmake --build --preset native || exit 1
echo "== native tests"
run_ctest native build/native-tests.log

echo "== windows build"
cmake --preset windows >build/windows-configure.log 2>&1 || { cat build/windows-configure.log; exit 1; }
cmake --build --preset windows || exit 1

echo "== Win32 tests under Wine"
mounts=$root/build/wine-test-mounts
cleanup() {
  stop_private_wine
  bash "$root/tests/win/output_support.sh" umount "$mounts" >/dev/null 2>&1
}
trap cleanup EXIT
start_private_display 1920x1080x24 || exit 1
init_private_prefix "$root/build/wine-test"
# The first Wine program starts Wine's own services, which inherit its output and live as long as the
# server: started from ctest they would hold ctest's pipe open until the first test times out. Start them
# here, on /dev/null.
timeout 300 wine "$root/build/windows/win_tests.exe" --gtest_filter='CommandLine.*' </dev/null >/dev/null 2>&1 || true
# The save tests' fault cases need a read-only and a full file system (mounts need root), and their sample
# files go to the independent decoders (the saved_files_* test).
if mount_vars=$(bash tests/win/output_support.sh mount "$mounts" 2>&1); then
  eval "$mount_vars"
else
  echo "warning: no test mounts, the read-only and full-disk save tests will skip: $mount_vars" >&2
fi
samples=$root/build/windows/output-samples
rm -rf "$samples" && mkdir -p "$samples"
export LANYING_OUTPUT_SAMPLES_FOLDER="Z:${samples//\//\\}"
run_ctest windows build/windows-tests.log

passed=0 failed=0
for line in "${summary[@]}"; do
  [ -n "$line" ] || continue
  total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
  fails=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  passed=$((passed + total - fails)); failed=$((failed + fails))
done
[ "$failed_any" -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
echo "$passed passed, $failed failed"
[ "$failed_any" -eq 0 ]
