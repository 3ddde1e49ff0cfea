#!/usr/bin/env bash
# Sets the engine's pixel work against djpeg decoding the same 6000 x 4000
# photo, measured in one run: the resampler into the 1280 box, each colour
# step (megapixels per second) and the date and comment overlay.
# Usage: bench/pixels.sh [BUILD_DIR]   (PHOTO=file.jpg picks another photo)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_bench_deps
build=${1:-build}
photo=${PHOTO:-/usr/share/backgrounds/Painting-Colors_by__herobrine7gamer.jpg}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 6000 x 4000 JPEG made from a real photo.
convert "$photo" -resize '6000x4000!' -quality 92 "$work/photo.jpg"
hyperfine -N --warmup 3 --runs 20 --export-json "$work/djpeg.json" \
    "djpeg -outfile /dev/null $work/photo.jpg" >&2
"$build/bench/bench_pixels" --photo="$work/photo.jpg" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$work/pixels.json"

python3 - "$work/djpeg.json" "$work/pixels.json" <<'EOF'
import json, sys
djpeg = json.load(open(sys.argv[1]))["results"][0]
wall, cpu = djpeg["mean"] * 1000, (djpeg["user"] + djpeg["system"]) * 1000
print(f"djpeg decode of 6000x4000: {wall:.1f} ms wall, {cpu:.1f} ms CPU")
print(f"{'step':44} {'wall ms':>8} {'CPU ms':>8} {'x djpeg':>8} {'MP/s (CPU)':>11}")
for b in json.load(open(sys.argv[2]))["benchmarks"]:
    if b.get("aggregate_name") != "mean":
        continue
    name = b["run_name"].replace("/real_time", "")
    real, own = b["real_time"], b["cpu_time"]
    mps = b.get("items_per_second")
    mps = f"{mps / 1e6 * real / own:11.0f}" if mps else " " * 11
    print(f"{name:44} {real:8.1f} {own:8.1f} {own / cpu:8.3f} {mps}")
EOF
