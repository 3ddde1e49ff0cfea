#!/usr/bin/env bash
# How soon a long job ends after "中止": starts the program on a virtual X
# server (openbox) with 200 copies of a 3000 x 2000 photo named on the
# command line, presses Esc in the progress window once ten files are
# written, and reports the time until the job's threads have ended, the files
# written, and whether every one of them is a whole JPEG with nothing else
# left behind. The job's end is the last change of the progress window (the
# stopped text and "閉じる" back), read every few hundredths of a second.
#
# Usage: scripts/stop-latency.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_desktop_deps

program=${1:-build}/app/tovali3
[ -x "$program" ] || { echo "no $program: build the tovali3 target first" >&2; exit 1; }
source scripts/desktop-session.sh
tovali_start_desktop 1600x1200

mkdir -p "$scratch/photos" "$scratch/config" "$scratch/run"
chmod 700 "$scratch/run"
convert -size 3000x2000 plasma:fractal -quality 92 "$scratch/photos/p000.jpg"
for i in $(seq 1 199); do cp "$scratch/photos/p000.jpg" "$scratch/photos/p$(printf %03d "$i").jpg"; done


# What the progress window shows now, as a checksum of its pixels.
looks() { import -window "$status" rgb:- 2>/dev/null | md5sum; }

QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run" \
    "$program" "$scratch"/photos/p*.jpg 2>/dev/null &
app=$!
status=$(visible '^進行状況$')
while [ "$(find "$scratch/photos" -name 's-*' | wc -l)" -lt 10 ]; do sleep 0.05; done

xdotool windowactivate --sync "$status"
shown=$(looks)
xdotool key Escape
pressed=$(date +%s.%N)
last=$pressed
# The job has ended when the window has not changed for two seconds.
while [ "$(echo "$(date +%s.%N) - $last < 2" | bc)" = 1 ]; do
    now=$(looks)
    if [ "$now" != "$shown" ]; then
        shown=$now
        last=$(date +%s.%N)
    fi
done

written=$(find "$scratch/photos" -name 's-*' | wc -l)
whole=0
for f in "$scratch"/photos/s-*; do identify -regard-warnings "$f" >/dev/null 2>&1 && whole=$((whole + 1)); done
others=$(find "$scratch/photos" -type f ! -name 'p[0-9][0-9][0-9].jpg' ! -name 's-p[0-9][0-9][0-9].jpg' | wc -l)
printf 'stopped %.2f s after Esc; %d files written, %d whole, %d other files\n' \
    "$(echo "$last - $pressed" | bc)" "$written" "$whole" "$others"
