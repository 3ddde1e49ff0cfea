#!/usr/bin/env bash
# Converts the same pictures with two builds of tovali3-batch under several
# settings and compares every output byte for byte. A change that is meant to
# keep results must print no difference.
#
#   scripts/compare-outputs.sh OLD_BATCH NEW_BATCH [PICTURE_DIR...]
#
# The pictures are copied into a scratch folder per build, so the sources are
# never touched and outputs land beside the copies. Without folders it takes
# the wallpapers in /usr/share/backgrounds (when installed) and the corpora
# in ../shared/testdata. Exit status 0 when every output is the same.
#
# Either build may be a Windows tovali3-batch.exe: it runs under Wine
# (scripts/wine-run.sh) with its DLLs beside it (the unzipped portable folder)
# or in $TOVALI_MINGW_PREFIX/bin. Pictures that differ are then measured too:
# how many pixels differ and by how much at most.
set -euo pipefail
[ $# -ge 2 ] || { sed -n 2,16p "$0"; exit 2; }
old=$(realpath "$1") new=$(realpath "$2")
shift 2
here=$(cd "$(dirname "$0")/.." && pwd)
dirs=("$@")
if [ ${#dirs[@]} -eq 0 ]; then
    # A worktree's shared/ sits beside the main checkout.
    common=$(git -C "$here" rev-parse --path-format=absolute --git-common-dir 2>/dev/null || true)
    for d in /usr/share/backgrounds "$here/../shared/testdata" "${common%/.git}/../shared/testdata"; do
        [ -d "$d" ] || continue
        d=$(realpath "$d")
        [[ " ${dirs[*]} " == *" $d "* ]] || dirs+=("$d")
    done
fi

scratch=$(mktemp -d)
wineprefix=$scratch/wine
trap '[ ! -d "$wineprefix" ] || WINEPREFIX=$wineprefix wineserver -k 2>/dev/null; rm -rf "$scratch"' EXIT

# The command that runs a build: itself, or Wine for a Windows one.
runner() {
    if [[ $1 == *.exe ]]; then
        local dlls=${TOVALI_MINGW_PREFIX:+$TOVALI_MINGW_PREFIX/bin}
        echo "$here/scripts/wine-run.sh" "$wineprefix" "${dlls:-$(dirname "$1")}" "$1"
    else
        echo "$1"
    fi
}
windows=0
[[ $old == *.exe || $new == *.exe ]] && windows=1

# One settings profile a line: its name, then --set arguments.
profiles=(
    "defaults"
    "fit1280-q80 PIC_SIZE/USE_PIC_SIZE=1 PIC_QUALITY/USE_PIC_QUALITY=1 PIC_QUALITY/QUALITY_INDEX=1"
    "fit640-png-effects PIC_SIZE/USE_PIC_SIZE=1 PIC_SIZE/REGULAR_INDEX=3 PIC_SAVE/TYPE_JPEG=0 PIC_SAVE/TYPE_PNG=1 PIC_FILTER/USE_PIC_FILTER=1 PIC_FILTER/USE_VIVID=1 PIC_FILTER/USE_WHITE_FRAME=1 PIC_DATE/USE_DATE=1 PIC_COMMENT/USE_DATE=1 PIC_COMMENT/COMMENT=テスト"
    "fit160-bmp PIC_SIZE/USE_PIC_SIZE=1 PIC_SIZE/REGULAR_INDEX=6 PIC_SAVE/TYPE_JPEG=0 PIC_SAVE/TYPE_BMP=1 PIC_FILTER/USE_MONOCHROME=1"
    "fit400-gif-size PIC_SIZE/USE_PIC_SIZE=1 PIC_SIZE/REGULAR_INDEX=4 PIC_SAVE/TYPE_JPEG=0 PIC_SAVE/TYPE_GIF=1"
    "filesize PIC_SIZE/USE_PIC_SIZE=1 PIC_SIZE/REGULAR_INDEX=5 PIC_QUALITY/USE_PIC_QUALITY=1 PIC_QUALITY/PIC_QUALITY=0 PIC_QUALITY/FILE_SIZE=1 PIC_QUALITY/SIZE=12"
)
# The newer output types, when both builds know them (a build from before
# them would write JPEG instead).
newer_profiles=(
    "fit1280-webp-date webp PIC_SIZE/USE_PIC_SIZE=1 PIC_SAVE/TYPE_JPEG=0 PIC_SAVE/TYPE_WEBP=1 PIC_DATE/USE_DATE=1"
    "fit400-avif-q60 avif PIC_SIZE/USE_PIC_SIZE=1 PIC_SIZE/REGULAR_INDEX=4 PIC_SAVE/TYPE_JPEG=0 PIC_SAVE/TYPE_AVIF=1 PIC_QUALITY/USE_PIC_QUALITY=1 PIC_QUALITY/QUALITY_INDEX=2"
)
knows_type() {
    local batch
    read -r -a batch <<< "$(runner "$1")"
    "${batch[@]}" --help 2>/dev/null | grep -q -- "--type.*$2"
}
for profile in "${newer_profiles[@]}"; do
    read -r name type sets <<< "$profile"
    if knows_type "$old" "$type" && knows_type "$new" "$type"; then
        profiles+=("$name $sets")
    else
        echo "$name: left out ($type is not an output type of both builds)"
    fi
done

# Copies the pictures of every folder into $1, keeping relative names.
copy_inputs() {
    local target=$1 i=0
    for d in "${dirs[@]}"; do
        mkdir -p "$target/$i"
        (cd "$d" && find . -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \
            -o -iname '*.gif' -o -iname '*.bmp' \) -print0 |
            xargs -0 cp --parents -t "$target/$i")
        i=$((i + 1))
    done
}

# Runs one build over every copied picture, twenty at a time. A batch stops
# at a failed file: the paths it printed tell which one, and the next batch
# starts after it.
run_build() {
    local batch root=$2 config=$3
    read -r -a batch <<< "$(runner "$1")"
    shift 3
    local args=(--config "$config" --date 2020-01-02)
    for s in "$@"; do args+=(--set "$s"); done
    local files=()
    mapfile -t files < <(find "$root" -type f | sort)
    local i=0 written
    : > "$root.failed"
    while [ $i -lt ${#files[@]} ]; do
        if written=$("${batch[@]}" "${args[@]}" -- "${files[@]:i:20}" 2>/dev/null); then
            i=$((i + 20))
        else
            local k=0
            [ -n "$written" ] && k=$(printf '%s\n' "$written" | wc -l)
            echo "${files[i + k]#"$root"}" >> "$root.failed"
            i=$((i + k + 1))
        fi
    done
}

# Between Linux and Windows: how many pixels of a picture output differ, and
# the largest difference of a channel (of 255).
measure() {
    [ $windows = 1 ] && [ -f "$scratch/old/$1" ] && [ -f "$scratch/new/$1" ] || return 0
    local count peak
    count=$(compare -metric AE "$scratch/old/$1" "$scratch/new/$1" null: 2>&1) || true
    peak=$(compare -metric PAE "$scratch/old/$1" "$scratch/new/$1" null: 2>&1) || true
    peak=${peak#*(}
    echo " ($count pixels differ, by at most $(awk -v p="${peak%)}" 'BEGIN { printf "%.0f", p * 255 }'))"
}

status=0
for profile in "${profiles[@]}"; do
    read -r name sets <<< "$profile"
    read -r -a setArgs <<< "${sets:-}"
    for side in old new; do
        rm -rf "${scratch:?}/$side" "$scratch/$side".*
        copy_inputs "$scratch/$side"
        batch=$old
        [ $side = new ] && batch=$new
        run_build "$batch" "$scratch/$side" "$scratch/$side.ini" "${setArgs[@]}"
        (cd "$scratch/$side" && find . -type f -print0 | sort -z | xargs -0 sha256sum) \
            > "$scratch/$side.sums"
    done
    count=$(wc -l < "$scratch/new.sums")
    if cmp -s "$scratch/old.sums" "$scratch/new.sums" &&
        cmp -s "$scratch/old.failed" "$scratch/new.failed"; then
        echo "$name: $count files, all the same ($(wc -l < "$scratch/new.failed") inputs fail in both)"
    else
        status=1
        echo "$name: DIFFERENT"
        # Every output whose bytes (or presence) differ, by name.
        join -j 2 -a 1 -a 2 -e missing -o 0,1.1,2.1 <(sort -k 2 "$scratch/old.sums") \
            <(sort -k 2 "$scratch/new.sums") | awk '$2 != $3 { print $1 }' |
            while read -r file; do
                echo "  differs: $file$(measure "$file")"
            done
        diff "$scratch/old.failed" "$scratch/new.failed" | sed 's/^/  failed: /' || true
    fi
done
exit $status
