#!/usr/bin/env bash
# tovali3-batch against the djpeg floor and three peers on the eight largest
# photos of /usr/share/backgrounds: fit into the 1280 box, JPEG quality 80,
# every other setting at its default; each command converts all eight files.
# Prints wall times on both cores and on one (taskset -c 0), ratios to the
# floor and to each peer, and peak memory against the largest photo's raster.
# Usage: bench/compare.sh [BUILD_DIR]    (RUNS=n sets hyperfine's run count)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_bench_deps
build=$(realpath "${1:-build}")
batch="$build/app/tovali3-batch"
runs=${RUNS:-5}
photos=(Painting-Colors_by__herobrine7gamer Kleiber_by_Lukas_Baubkus Infinite-Sea_by_Aury88
        seeding_by_Clements_Engelhardt Dragonfly_by_Bolly sunset_by_Aitzol_Berasategi
        Bridge_by_Sander_Klootwijk Wine_by_Jakkub_Mede)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/home"
files=()
for name in "${photos[@]}"; do
    # tovali3-batch writes beside its sources: links keep the originals' folder clean.
    ln -s "/usr/share/backgrounds/$name.jpg" "$work/in/$name.jpg"
    files+=("$work/in/$name.jpg")
done
list="${files[*]}"
clean="rm -rf $work/out/* $work/in/s-*"

floor="sh -c 'for f in $list; do djpeg -outfile /dev/null \$f; done'"
tovali="env HOME=$work/home $batch --config $work/none.ini --set PIC_SIZE/USE_PIC_SIZE=1 $list"
vips="vipsthumbnail -s 1280 -o '$work/out/%s.jpg[Q=80]' $list"
# gm puts a source's whole path under the output folder: hand it bare names.
gm="sh -c 'cd $work/in && gm mogrify -output-directory $work/out -filter Box -resize 1280x1280 -quality 80 ${photos[*]/%/.jpg}'"
magick="mogrify -path $work/out -filter Box -resize 1280x1280 -quality 80 $list"

hyperfine --warmup 1 --runs "$runs" --prepare "$clean" --export-json "$work/times.json" \
    -n djpeg "$floor" -n tovali3-batch "$tovali" -n vipsthumbnail "$vips" \
    -n gm "$gm" -n imagemagick "$magick" >&2
# The same floor and job held to one core.
hyperfine --warmup 1 --runs "$runs" --prepare "$clean" --export-json "$work/one.json" \
    -n djpeg "taskset -c 0 $floor" -n tovali3-batch "taskset -c 0 $tovali" >&2

peak() {  # peak resident memory of one command, in MB
    eval "$clean"
    /usr/bin/time -v sh -c "$1" 2>&1 >/dev/null |
        awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }'
}
largest=0
for f in "${files[@]}"; do
    read -r w h < <(identify -format '%w %h\n' "$f")
    pixels=$((w * h))
    [ "$pixels" -gt "$largest" ] && largest=$pixels
done

python3 - "$work/times.json" "$work/one.json" "$largest" \
    "$(peak "$tovali")" "$(peak "$vips")" "$(peak "$gm")" "$(peak "$magick")" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
one = {r["command"]: r for r in json.load(open(sys.argv[2]))["results"]}
largest, peaks = int(sys.argv[3]), dict(zip(["tovali3-batch", "vipsthumbnail", "gm", "imagemagick"],
                                         map(int, sys.argv[4:])))
floor = results["djpeg"]["mean"]
floor_median = results["djpeg"]["median"]
ours = results["tovali3-batch"]["mean"]
print(f"{'command':14} {'wall s':>7} {'± s':>6} {'x floor':>8} {'tovali x it':>12} {'peak MB':>8}")
for name, r in results.items():
    peak = f"{peaks[name]:8d}" if name in peaks else " " * 8
    print(f"{name:14} {r['mean']:7.3f} {r['stddev']:6.3f} {r['mean'] / floor:8.2f} "
          f"{ours / r['mean']:12.2f} {peak}")
raster = largest * 3 / 1e6
oneRatio = one["tovali3-batch"]["median"] / one["djpeg"]["median"]
print(f"one core: djpeg {one['djpeg']['median']:.3f} s, tovali3-batch "
      f"{one['tovali3-batch']['median']:.3f} s")
print(f"largest photo: {largest / 1e6:.1f} MP, 24-bit raster {raster:.0f} MB")
print(f"both cores: {results['tovali3-batch']['median'] / floor_median:.2f}x the floor "
      f"(target at most 0.60x); one core: {oneRatio:.2f}x (target at most 1.10x); "
      f"peak {peaks['tovali3-batch'] * 2**20 / 1e6 / raster:.2f}x the raster (target at most 1.5x)")
PY
