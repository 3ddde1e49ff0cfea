#!/usr/bin/env bash
# The window's job end to end (bench/window_job: intake, job thread, hand-overs
# to the interface thread) against tovali3-batch on the same job and against
# the floor, djpeg decoding the same files; then peak memory of both programs.
# The set: the eight largest photos of /usr/share/backgrounds; the job: fit
# into the 1280 box, JPEG quality 80, every other setting at its default.
#   bench/window.sh [BUILD_FOLDER]
set -euo pipefail
build=$(realpath "${1:-build}")
source "$(dirname "$0")/../scripts/deps.sh"
tovali_install_bench_deps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for name in Painting-Colors_by__herobrine7gamer Kleiber_by_Lukas_Baubkus \
            Infinite-Sea_by_Aury88 seeding_by_Clements_Engelhardt Dragonfly_by_Bolly \
            sunset_by_Aitzol_Berasategi Bridge_by_Sander_Klootwijk Wine_by_Jakkub_Mede; do
    cp "/usr/share/backgrounds/$name.jpg" "$work/"
done
files=$(ls "$work"/*.jpg | tr '\n' ' ')
batch="$build/app/tovali3-batch --config $work/none.ini --set PIC_SIZE/USE_PIC_SIZE=1 $files"
window="$build/bench/window_job $files"

hyperfine --warmup 1 --runs 10 --prepare "rm -f $work/s-*" \
    -n djpeg "for f in $files; do djpeg -outfile /dev/null \$f; done" \
    -n tovali3-batch "$batch > /dev/null" \
    -n window "$window"

for command in "$batch" "$window"; do
    rm -f "$work"/s-*
    /usr/bin/time -f "%M KiB peak: ${command%% *}" $command > /dev/null
done
