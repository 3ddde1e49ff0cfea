#!/usr/bin/env bash
# Runs a Windows program of the MinGW build under Wine: the emulator CMake
# puts in front of every test, of artgen and of anything else the build runs.
#
#   scripts/wine-run.sh WINEPREFIX DLL_FOLDER PROGRAM.exe [ARG...]
#
# The Wine prefix is made on first use (one boot, guarded by a lock so that
# tests started side by side wait for it) and gets the IPA fonts in its
# windows/Fonts folder. The program finds its DLLs in DLL_FOLDER (the
# libraries' prefix/bin) and MinGW's runtime folders. The exit status is the
# program's.
set -euo pipefail
[ $# -ge 3 ] || { sed -n 2,11p "$0" >&2; exit 2; }
export WINEPREFIX=$1
dlls=$2
shift 2

export WINEARCH=win64
export WINEDEBUG=-all
# No .NET and no Gecko: nothing here needs them, and Wine would offer to
# download them on the first boot. No debugger either: a crashing program
# ends at once with its fault instead of waiting in winedbg.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

mingw_runtime=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
winepath="Z:$dlls"
for d in "${mingw_runtime[@]}"; do winepath+=";Z:$d"; done
export WINEPATH="$winepath${WINEPATH:+;$WINEPATH}"

boot() {
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # The null display driver: windows and message loops without an X server.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # Wine passes no QT_ variable of Linux on to its programs; the user's
    # environment in the registry gives every program here Qt's offscreen
    # platform, as the tests have on Linux, with the fonts of windows\Fonts
    # (offscreen draws with its own FreeType list of one folder).
    wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
    wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /d 'C:\windows\Fonts' /f >/dev/null 2>&1
    # Without a console, QtTest and qWarning would write to the debugger
    # (OutputDebugString), where CTest never sees a failure's reason.
    wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    find /usr/share/fonts/opentype/ipafont-* -maxdepth 1 \
        \( -name '*.ttf' -o -name '*.otf' \) -exec cp -L -t "$fonts" {} + 2>/dev/null || true
    wineserver -w
    touch "$ready"
}

# A prefix made by another version of this script is made again, so that a
# build tree never keeps the settings of an older boot.
ready=$WINEPREFIX/.tovali-ready-$(sha256sum "$0" | cut -c1-16)
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$ready" ]; then
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
        boot
    fi
    flock -u 9
    exec 9>&-
fi
# A test starts without the settings an earlier one saved, as each test has
# a settings folder of its own on Linux (the suite runs one test at a time).
if [ "${TOVALI_FRESH_SETTINGS:-0}" = 1 ]; then
    rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Quorbel
fi
# One server for a whole test run: it stays a minute after its last program
# instead of being started again for every test (fails when one is running).
# Wine's own background programs (services, devices) start with a new
# server's first program and would hold its stderr open until the server
# ends, keeping CTest waiting that minute: wineboot starts them with none.
if wineserver -p60 </dev/null >/dev/null 2>&1; then
    wineboot </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
