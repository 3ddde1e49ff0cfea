#!/usr/bin/env bash
# Builds the screenshot program, starts a virtual X server and saves a
# picture of every page of the main window into docs/images/ (or the folder
# given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_deps

out=${1:-docs/images}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target ui_screenshots

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done

DISPLAY=$display QT_QPA_PLATFORM=xcb build/tests/ui_screenshots "$out"
echo "Saved the pages to $out"
