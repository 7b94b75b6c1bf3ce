#!/usr/bin/env bash
# Linux-side helpers for the save-flow tests in win_tests.exe (tests/win/output_save_test.cpp).
#
#   output_support.sh mount DIR    (root) mounts a read-only file system holding "岚影抓图.png" and a 256 KiB
#                                  one under DIR, and prints the variables that point the tests at them:
#                                      eval "$(bash tests/win/output_support.sh mount /tmp/lanying-mounts)"
#   output_support.sh umount DIR   removes both mounts again.
#   output_support.sh check DIR    checks the sample files the format tests copied into DIR (when
#                                  LANYING_OUTPUT_SAMPLES_FOLDER named it) with pngcheck and ImageMagick:
#                                  every file decodes at the capture's size, the PNG is 8-bit RGB and interlaced,
#                                  each depthN.bmp has N bits per pixel.
#
# Wine reaches the mounts through its Z: drive, which maps the Unix root.
set -euo pipefail

usage() { sed -n '2,13p' "$0" >&2; exit 2; }
[ $# -eq 2 ] || usage
command=$1
dir=$(realpath -m "$2")
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

case $command in
  mount)
    mkdir -p "$dir/readonly" "$dir/small"
    if ! mountpoint -q "$dir/readonly"; then
      mount -t tmpfs -o size=1m tmpfs "$dir/readonly"
      printf 'the picture saved yesterday' >"$dir/readonly/岚影抓图.png"
      mount -o remount,ro "$dir/readonly"
    fi
    mountpoint -q "$dir/small" || mount -t tmpfs -o size=256k tmpfs "$dir/small"
    echo "export LANYING_TEST_READONLY_FOLDER='$(windows_path "$dir/readonly")'"
    echo "export LANYING_TEST_SMALL_DISK_FOLDER='$(windows_path "$dir/small")'"
    ;;
  umount)
    for m in "$dir/readonly" "$dir/small"; do
      if mountpoint -q "$m"; then umount "$m"; fi
    done
    ;;
  check)
    # Run from ctest: the save tests copy their files only when the test script named the folder.
    [ -n "${LANYING_OUTPUT_SAMPLES_FOLDER:-}" ] || { echo "LANYING_OUTPUT_SAMPLES_FOLDER is not set: nothing to check"; exit 77; }
    expected=37x23  # the capture of the format tests
    failed=0
    for leaf in capture.png automatic.jpg dialog.jpg depth16.bmp depth8.bmp depth4.bmp capture.gif; do
      f=$dir/$leaf
      [ -f "$f" ] || { echo "FAIL $f is missing"; failed=1; continue; }
      size=$(identify -format '%wx%h' "$f[0]" 2>/dev/null) || size=unreadable
      if [ "$size" != "$expected" ]; then
        echo "FAIL $f: $size, expected $expected"; failed=1
      else
        echo "ok   $f: $(identify -format '%m %wx%h %[bit-depth]-bit %[type]' "$f[0]")"
      fi
      case $f in
        *.png)
          report=$(pngcheck -v "$f" 2>&1) || { echo "FAIL pngcheck $f"; echo "$report"; failed=1; continue; }
          # pngcheck counts the bits of all three channels: 24-bit RGB is 8 bits per channel.
          grep -q '24-bit RGB, interlaced' <<<"$report" || { echo "FAIL $f is not interlaced 8-bit RGB"; failed=1; }
          ;;
        */depth*.bmp)
          want=$(basename "$f" .bmp); want=${want#depth}
          bits=$(od -An -tu2 -j28 -N2 "$f" | tr -d ' ')
          [ "$bits" = "$want" ] || { echo "FAIL $f has $bits bits per pixel, expected $want"; failed=1; }
          ;;
      esac
    done
    exit $failed
    ;;
  *) usage ;;
esac
