#!/usr/bin/env bash
# The cost of turning Display P3 photos into sRGB: three 6000 x 4000 photos
# made from the wallpapers, as a batch into the 1280 box with and without
# their P3 profile, and the conversion of one whole photo.
# Usage: bench/colour.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photos=()
i=0
for wallpaper in /usr/share/backgrounds/Bridge_by_Sander_Klootwijk.jpg \
    /usr/share/backgrounds/Dragonfly_by_Bolly.jpg \
    /usr/share/backgrounds/Painting-Colors_by__herobrine7gamer.jpg; do
    convert "$wallpaper" -resize '6000x4000!' -quality 92 "$work/photo-$i.jpg"
    photos+=("$work/photo-$i.jpg")
    i=$((i + 1))
done
"$build/bench/bench_colour" "${photos[@]}" --rounds="${ROUNDS:-7}"
