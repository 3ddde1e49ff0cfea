#!/usr/bin/env bash
# tovali3-batch.exe under Wine against the Linux tovali3-batch, in the same
# run, on the eight largest photos of /usr/share/backgrounds (those of
# bench/compare.sh): fit into the 1280 box, every other setting at its default;
# each command converts all eight files. Runs alternate between the two; prints
# the median wall times, their ratio, and Wine's start-up alone (--version).
# Informational: the work is the same compiled code, Wine adds its own cost.
# Usage: bench/windows.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]   (RUNS=n)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
linux=$(realpath "${1:-build}")/app/tovali3-batch
windows=$(realpath "${2:-build-windows}")/app/tovali3-batch.exe
runs=${RUNS:-5}
prefix=${TOVALI_MINGW_PREFIX:-$(bash scripts/windows-deps.sh --prefix)}
photos=(Painting-Colors_by__herobrine7gamer Kleiber_by_Lukas_Baubkus Infinite-Sea_by_Aury88
        seeding_by_Clements_Engelhardt Dragonfly_by_Bolly sunset_by_Aitzol_Berasategi
        Bridge_by_Sander_Klootwijk Wine_by_Jakkub_Mede)

work=$(mktemp -d)
wine=("$root/scripts/wine-run.sh" "$work/wine" "$prefix/bin")
trap 'WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/in"
files=()
for name in "${photos[@]}"; do
    # Copies, not links: the Windows program does not follow Linux links.
    cp "/usr/share/backgrounds/$name.jpg" "$work/in/$name.jpg"
    files+=("$work/in/$name.jpg")
done
args=(--config "$work/none.ini" --set PIC_SIZE/USE_PIC_SIZE=1 -- "${files[@]}")

# Wall time of one command in seconds, after removing the last run's outputs.
wall() {
    find "$work/in" -name 's-*' -delete
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

"${wine[@]}" "$windows" --version >/dev/null  # boots the Wine prefix
: >"$work/linux" && : >"$work/windows" && : >"$work/start"
for _ in $(seq "$runs"); do
    wall "$linux" "${args[@]}" >>"$work/linux"
    wall "${wine[@]}" "$windows" "${args[@]}" >>"$work/windows"
    wall "${wine[@]}" "$windows" --version >>"$work/start"
done
l=$(median <"$work/linux") w=$(median <"$work/windows") s=$(median <"$work/start")
awk -v l="$l" -v w="$w" -v s="$s" 'BEGIN {
    printf "Linux tovali3-batch      %6.3f s\n", l
    printf "tovali3-batch.exe (Wine) %6.3f s  %.2fx Linux\n", w, w / l
    printf "Wine start-up alone      %6.3f s; without it %.2fx Linux\n", s, (w - s) / l
}'
