#!/usr/bin/env bash
# The manual pages keep up with the programs: the tovali3-batch pages (in
# every language) name exactly the options its --help names, and every built
# page formats without a single groff warning (an unbreakable line, a bad
# request), so that man(1) shows it whole.
#   ManPagesTest.sh <tovali3-batch> <man source folder> <man build folder>
set -euo pipefail
batch=$1 sources=$2 built=$3
status=0

options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }

help=$("$batch" --help | options)
[ -n "$help" ] || { echo "tovali3-batch --help names no options"; exit 1; }
for page in "$sources"/tovali3-batch.1.scd "$sources"/*/tovali3-batch.1.scd; do
    if ! difference=$(diff <(echo "$help") <(options < "$page")); then
        echo "$page and --help name different options (< --help only, > page only):"
        echo "$difference"
        status=1
    fi
done

for page in "$built"/*/*.1; do
    warnings=$(LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "$page: $warnings"
        status=1
    fi
done
exit $status
