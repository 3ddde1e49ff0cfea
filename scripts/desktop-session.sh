#!/usr/bin/env bash
# Sourced by the desktop scripts: starts a private X server of the given size
# with openbox, sets DISPLAY and scratch, and tears everything down on exit
# (including the program whose pid the caller keeps in $app), and finds
# windows by title.
#   tovali_start_desktop WIDTHxHEIGHT
tovali_start_desktop() {
    scratch=$(mktemp -d)
    display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 "$1x24" -nolisten tcp &
    xvfb=$!
    wm=""
    app=""
    trap tovali_stop_desktop EXIT
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${display#:}" ] && break
        sleep 0.1
    done
    export DISPLAY=$display
    openbox &
    wm=$!
}

tovali_stop_desktop() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$scratch"
}

# The first shown window whose title matches; windows that come and go while
# xdotool looks make it fail, so it looks again, for 30 seconds at most.
visible() {
    local id="" tries=150
    until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ]; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || { echo "no window named $1" >&2; return 1; }
        sleep 0.2
    done
    echo "$id"
}
