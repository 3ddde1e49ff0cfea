#!/usr/bin/env bash
# How soon tovali3-batch ends after Ctrl-C, in every step and format, on a
# 12000 x 9000 photo (a wallpaper tiled to that size): each case starts the
# program, sends SIGINT after several delays (each in its own run, so that
# the signal lands in the decode, the fit, the effects, the texts or the
# save) and takes the time from the signal to the program's end. A run still
# going STOP_LIMIT seconds after the signal is killed and shown as ">limit".
# Every stopped run must exit 130 and leave nothing but the sources.
#
# Usage: bench/stop.sh [BATCH [BASELINE_BATCH]]
#   BATCH           the program measured (default build/app/tovali3-batch)
#   BASELINE_BATCH  measured the same way in the same run, for comparison
# Environment: STOP_PICTURES (folder for the generated pictures, kept between
# runs; default $TMPDIR/tovali3-stop-pictures), STOP_DELAYS (seconds after the
# start, default "0.5 1.5 3 6"), STOP_LIMIT (default 15), STOP_CASES (a
# regular expression that picks cases by name).
set -euo pipefail
cd "$(dirname "$0")/.."
batch=$(realpath "${1:-build/app/tovali3-batch}")
baseline=${2:+$(realpath "$2")}
pictures=${STOP_PICTURES:-${TMPDIR:-/tmp}/tovali3-stop-pictures}
delays=${STOP_DELAYS:-0.5 1.5 3 6}
limit=${STOP_LIMIT:-15}
only=${STOP_CASES:-.}
wallpaper=/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg
[ -x "$batch" ] || { echo "no $batch: build the tovali3-batch target first" >&2; exit 1; }
[ -f "$wallpaper" ] || { echo "needs $wallpaper" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch/home

# The photo tiled (mirrored at the seams) to width x height, as a PPM.
tile() {
    python3 - "$1" "$2" "$3" "$4" <<'EOF'
import sys
src, out, W, H = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
parts = open(src, 'rb').read().split(maxsplit=4)
w, h, pix = int(parts[1]), int(parts[2]), parts[4]
rows = [pix[y * w * 3:(y + 1) * w * 3] for y in range(h)]
def wide(row):
    back = b''.join(row[i:i + 3] for i in range(len(row) - 3, -1, -3))
    return ((row + back) * (W // (2 * w) + 1))[:W * 3]
wrows = [wide(r) for r in rows]
with open(out, 'wb') as f:
    f.write(b'P6\n%d %d\n255\n' % (W, H))
    done, down = 0, True
    while done < H:
        for r in (wrows if down else wrows[::-1])[:H - done]:
            f.write(r)
            done += 1
        down = not down
EOF
}

# The pictures, each written once: a progressive 4:4:4 JPEG at quality 95
# and the same picture in every other format, written by the program itself.
make_pictures() {
    mkdir -p "$pictures"
    [ -f "$pictures/big.jpg" ] || {
        djpeg "$wallpaper" >"$scratch/photo.ppm"
        tile "$scratch/photo.ppm" "$scratch/big.ppm" 12000 9000
        cjpeg -progressive -quality 95 -sample 1x1 "$scratch/big.ppm" >"$pictures/big.jpg"
    }
    local type
    for type in PNG BMP GIF WEBP AVIF; do
        local ext=${type,,}
        [ -f "$pictures/big.$ext" ] && continue
        echo "writing big.$ext" >&2
        mkdir -p "$scratch/make"
        cp "$pictures/big.jpg" "$scratch/make/"
        "$batch" --set PIC_SIZE/USE_PIC_SIZE=0 --set "PIC_SAVE/TYPE_$type=1" \
            "$scratch/make/big.jpg" >/dev/null 2>&1
        mv "$scratch/make/s-big.$ext" "$pictures/big.$ext"
        rm -rf "$scratch/make"
    done
}

box=(--set PIC_SIZE/USE_PIC_SIZE=1)
full=(--set PIC_SIZE/USE_PIC_SIZE=0)
effects=(--set PIC_FILTER/USE_PIC_FILTER=1 --set PIC_FILTER/USE_VIVID=1
    --set PIC_FILTER/USE_BRIGHTNESS=1 --set PIC_FILTER/USE_MONOCHROME=1 --contrast)
texts=(--set PIC_DATE/USE_DATE=1 --set PIC_DATE/FROM_INPUT=1 --set PIC_COMMENT/USE_DATE=1
    --set PIC_COMMENT/COMMENT=Tovali3の停止)
target=(--set PIC_QUALITY/USE_PIC_QUALITY=1 --set PIC_QUALITY/FILE_SIZE=1
    --set PIC_QUALITY/SIZE=10)

# name, source, settings: the step each case keeps busy longest.
cases() {
    local ext
    for ext in jpg png bmp gif webp avif; do echo "decode-$ext big.$ext ${box[*]}"; done
    echo "effects big.bmp ${full[*]} ${effects[*]} --set PIC_SAVE/TYPE_BMP=1"
    echo "texts big.bmp ${full[*]} ${texts[*]} --set PIC_SAVE/TYPE_BMP=1"
    local type
    for type in JPEG PNG BMP GIF WEBP AVIF; do
        echo "save-${type,,} big.bmp ${full[*]} --set PIC_SAVE/TYPE_$type=1"
    done
    for type in JPEG WEBP AVIF; do
        echo "target-${type,,} big.bmp ${full[*]} ${target[*]} --set PIC_SAVE/TYPE_$type=1"
    done
}

# One stopped run: prints the seconds from SIGINT to the end, "done" when the
# program ended before the signal, or ">limit"; fails on a wrong exit status
# or a file left behind.
stopped_run() {
    local program=$1 delay=$2 source=$3
    shift 3
    local dir=$scratch/run
    rm -rf "$dir"
    mkdir -p "$dir"
    ln "$pictures/$source" "$dir/$source" 2>/dev/null || cp "$pictures/$source" "$dir/"
    "$program" "$@" "$dir/$source" >/dev/null 2>"$scratch/err" &
    local pid=$!
    sleep "$delay"
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" || true
        echo "done"
        return
    fi
    local signalled ended status=0
    signalled=$(date +%s.%N)
    kill -INT "$pid"
    # The end is when the last of its threads is gone (wait returns), not
    # when its main thread is; a watchdog kills it at the limit.
    (sleep "$limit" && kill -KILL "$pid" 2>/dev/null) &
    local watchdog=$!
    wait "$pid" || status=$?
    ended=$(date +%s.%N)
    kill "$watchdog" 2>/dev/null || true
    wait "$watchdog" 2>/dev/null || true
    if [ "$status" = 137 ]; then
        echo ">$limit"
        return
    fi
    [ "$status" = 130 ] || { echo "exit status $status" >&2; cat "$scratch/err" >&2; return 1; }
    [ "$(ls "$dir")" = "$source" ] || { echo "left behind: $(ls "$dir")" >&2; return 1; }
    printf '%.3f\n' "$(echo "$ended - $signalled" | bc)"
}

measure() {
    local program=$1 name source settings delay results
    while read -r name source settings; do
        [[ $name =~ $only ]] || continue
        results=()
        for delay in $delays; do
            # shellcheck disable=SC2086  # the settings are words
            results+=("$(stopped_run "$program" "$delay" "$source" $settings)")
        done
        printf '%-14s %s\n' "$name" "${results[*]}"
    done < <(cases)
}

make_pictures
echo "seconds from SIGINT to the end, signal at $delays s after the start"
echo "== $batch"
measure "$batch"
if [ -n "$baseline" ]; then
    echo "== $baseline (baseline)"
    measure "$baseline"
fi
