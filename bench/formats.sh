#!/usr/bin/env bash
# LoadPicture of a 12-megapixel HEIC and WebP against libheif's own
# heif-convert and libwebp's dwebp on the same files, in one run. The
# sources are made here from the 12.2-megapixel wallpaper
# sunset_by_Aitzol_Berasategi.jpg (4272 x 2848): heif-enc -q 50, as phones
# store photos, and cwebp -q 80. Each reference decodes to the cheapest file
# its tool writes: heif-convert to Y4M (the decoded planes as they are, no
# colour conversion) and dwebp to PPM, both into a scratch folder.
# Needs libheif-examples, webp (heif-enc, heif-convert, cwebp, dwebp).
# Usage: bench/formats.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${2:-15}
source=/usr/share/backgrounds/sunset_by_Aitzol_Berasategi.jpg

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
heif-enc -q 50 -o "$work/photo.heic" "$source" >/dev/null
cwebp -quiet -q 80 "$source" -o "$work/photo.webp"

# heif-convert reports on standard output what it wrote.
"$build/bench/bench_load" "$work/photo.heic" "$runs" heif-convert "{}" "$work/out.y4m" |
    grep -v -e '^Written' -e '^File contains'
"$build/bench/bench_load" "$work/photo.webp" "$runs" dwebp -quiet "{}" -ppm -o "$work/out.ppm"
