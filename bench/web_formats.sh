#!/usr/bin/env bash
# WebP and AVIF copies against JPEG on the wallpapers of /usr/share/backgrounds
# (the lomiri-wallpapers packages of scripts/deps.sh), fitted into the 1280
# box: bytes, encode time and SSIM at one quality level, or the quality
# tables (see bench/web_formats_bench.cpp).
# Usage: bench/web_formats.sh [BUILD_DIR] [--level Q | --calibrate[=STEP,...]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
shift || true
exec "$build/bench/bench_web_formats" "$@" /usr/share/backgrounds/*.jpg
