#!/usr/bin/env bash
# Loads every JPEG under a folder with the EXIF reader and compares the
# DateTime text with ImageMagick's reading of the same file. Files that hold
# an EXIF block must load; the others must fail with the reader's errors.
#   bench/check_exif_corpus.sh BUILD_DIR [FOLDER]
set -uo pipefail
build=${1:?build folder}
folder=${2:-/work/shared/testdata/exif-samples}
checker="$build/bench/exif_corpus_check"
failures=0
while IFS=$'\t' read -r path status size entries date; do
    expected=$(identify -format '%[EXIF:DateTime]' "$path" 2>/dev/null | head -c 19)
    has_exif=$(identify -format '%[EXIF:*]' "$path" 2>/dev/null | head -c 1)
    verdict=ok
    if [ -n "$has_exif" ] && [ "$status" != ok ]; then
        verdict="EXIF not read"
    elif [ "$status" = ok ] && [ "$date" != "$expected" ]; then
        verdict="DateTime '$date', ImageMagick '$expected'"
    elif [ "$status" != ok ] && [[ "$status" != TExifInfo:* && "$status" != "no APP1" ]]; then
        verdict="foreign error"
    fi
    [ "$verdict" = ok ] || failures=$((failures + 1))
    printf '%-60s %-40s %s\n' "${path#"$folder"/}" "$status" "$verdict"
done < <("$checker" "$folder")
echo "$failures problem(s)"
[ "$failures" -eq 0 ]
