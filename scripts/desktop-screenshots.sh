#!/usr/bin/env bash
# Pictures of the program as people meet it on a desktop: a virtual X server
# with the openbox window manager, the light desktop and GTK's dark theme
# (Adwaita:dark through Qt's gtk3 platform theme), at 100 %, 150 % and 200 %.
# For each it opens the window on the date page, then converts a few
# pictures named on the command line so that the progress window shows over
# it. Saves main-<theme>-<scale>.png and job-<theme>-<scale>.png into the
# folder given as the first argument (default build/desktop-screenshots).
#
# Usage: scripts/desktop-screenshots.sh [OUTPUT_FOLDER] [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_deps
tovali_install_desktop_deps

out=$(realpath -m "${1:-build/desktop-screenshots}")
build=${2:-build}
program=$build/app/tovali3
[ -x "$program" ] || { echo "no $program: build the tovali3 target first" >&2; exit 1; }
mkdir -p "$out"
source scripts/desktop-session.sh
tovali_start_desktop 1920x1200
sleep 1

# Six copies of a test photo for the job.
pictures=()
for i in 1 2 3 4 5 6; do
    cp tests/data/jpeg/colour.jpg "$scratch/photo$i.jpg"
    pictures+=("$scratch/photo$i.jpg")
done


# Runs the program with the theme and scale in $1 and $2 and any pictures.
start() {
    local theme=$1 scale=$2
    shift 2
    local env=(QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" XDG_CONFIG_HOME="$scratch/config"
        XDG_RUNTIME_DIR="$scratch/run")
    if [ "$theme" = dark ]; then
        env+=(QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark)
    else
        env+=(QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita)
    fi
    mkdir -p "$scratch/config" "$scratch/run"
    chmod 700 "$scratch/run"
    env "${env[@]}" "$program" "$@" &
    app=$!
    window=$(visible '^Tovali 3$')
    sleep 1.5
}

stop() {
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    app=""
}

for theme in light dark; do
    for scale in 1 1.5 2; do
        start "$theme" "$scale"
        # The date page button, at (67, 207) of the window's client area.
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove "$(awk -v x="$X" -v s="$scale" 'BEGIN { print int(x + 67 * s) }')" \
            "$(awk -v y="$Y" -v s="$scale" 'BEGIN { print int(y + 207 * s) }')" click 1
        sleep 0.5
        import -window root "$out/main-$theme-$scale.png"
        import -window "$window" "$out/client-$theme-$scale.png"
        stop
        start "$theme" "$scale" "${pictures[@]}"
        import -window root "$out/job-$theme-$scale.png"
        stop
        rm -f "$scratch"/s-photo*.jpg
    done
done
# Drawn for the screen, not enlarged: the 2x window differs from a smooth 2x
# enlargement of the 1x one wherever the art or text has an edge.
for theme in light dark; do
    convert "$out/client-$theme-1.png" -filter Triangle -resize 200% "$scratch/enlarged.png"
    differ=$(compare -metric AE -fuzz 15% "$scratch/enlarged.png" "$out/client-$theme-2.png" \
        null: 2>&1 || true)
    echo "$theme: $differ pixels of the 2x window differ from the enlarged 1x one"
done
echo "Saved the screenshots to $out"
