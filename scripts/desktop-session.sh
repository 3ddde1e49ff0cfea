#!/usr/bin/env bash
# Sourced by the desktop scripts: starts a private X server of the given size
# with openbox, sets DISPLAY and scratch, and tears everything down on exit
# (including the program whose pid the caller keeps in $app).
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
