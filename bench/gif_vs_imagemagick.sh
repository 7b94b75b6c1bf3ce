#!/usr/bin/env bash
# Our GIF encoding (EncodeImage on the giflib path, timed by bench/gif_bench) beside ImageMagick's
# `convert x.bmp x.gif` on the same 24-bit BMP: time, file size and PSNR against the source. Both PSNRs
# come from ImageMagick's `compare -metric PSNR`, so the two files are measured by the same tool.
# Times are the best of three runs, as wall-clock and as CPU time (user + system over all threads,
# steadier on a busy machine). ImageMagick's include starting the process and reading the BMP file,
# ours decoding the BMP from memory.
#
# Usage: bench/gif_vs_imagemagick.sh [gif_bench binary] [picture.bmp]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/native/gif_bench}
picture=${2:-$root/bench/data/screen-1920x1080.bmp}
runs=3

for tool in convert compare identify python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
[ -x "$bench" ] || { echo "no benchmark binary at $bench (build the native preset first)" >&2; exit 1; }
[ -f "$picture" ] || { echo "no picture at $picture (run bench/make_bench_data.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Ours: the benchmark's own timing, best repetition.
LANYING_GIF_BENCH_BMP=$picture LANYING_GIF_BENCH_OUT=$work/ours.gif \
  "$bench" --benchmark_repetitions=$runs --benchmark_format=json >"$work/ours.json"
cat >"$work/best.py" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"]
if not runs or any(b.get("error_occurred") for b in runs):
    sys.exit("benchmark failed: " + str([b.get("error_message") for b in runs]))
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
best = lambda key: min(b[key] * scale[b["time_unit"]] for b in runs)
print("%.0f %.0f" % (best("real_time"), best("cpu_time")))
PY
read -r ours_ms ours_cpu_ms < <(python3 "$work/best.py" "$work/ours.json")

# ImageMagick: the whole command, best run.
im_ms='' im_cpu_ms=''
for _ in $(seq $runs); do
  /usr/bin/time -f '%e %U %S' -o "$work/time" convert "$picture" "$work/im.gif"
  read -r ms cpu_ms < <(awk '{ printf "%.0f %.0f\n", $1 * 1000, ($2 + $3) * 1000 }' "$work/time")
  if [ -z "$im_ms" ] || [ "$ms" -lt "$im_ms" ]; then im_ms=$ms; fi
  if [ -z "$im_cpu_ms" ] || [ "$cpu_ms" -lt "$im_cpu_ms" ]; then im_cpu_ms=$cpu_ms; fi
done

psnr() { compare -metric PSNR "$picture" "$1" null: 2>&1 || true; }
ours_psnr=$(psnr "$work/ours.gif")
im_psnr=$(psnr "$work/im.gif")
ours_bytes=$(stat -c %s "$work/ours.gif")
im_bytes=$(stat -c %s "$work/im.gif")

echo "picture: $picture ($(identify -format '%wx%h, %k colours' "$picture"))"
row() { printf '%-22s %10s %10s %12s %10s\n' "$@"; }
row "encoder" "wall ms" "CPU ms" "GIF bytes" "PSNR dB"
row "lanying (giflib path)" "$ours_ms" "$ours_cpu_ms" "$ours_bytes" "$ours_psnr"
row "ImageMagick convert" "$im_ms" "$im_cpu_ms" "$im_bytes" "$im_psnr"
python3 - "$ours_ms" "$im_ms" "$ours_psnr" "$im_psnr" <<'PY'
import sys
ours_ms, im_ms, ours_psnr, im_psnr = map(float, sys.argv[1:])
ok = ours_psnr >= im_psnr and ours_ms <= im_ms
print("goal (PSNR at least ImageMagick's, time at most its): " + ("met" if ok else "NOT met"))
PY
