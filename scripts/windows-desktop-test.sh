#!/usr/bin/env bash
# The Windows program as a Windows user meets it, under Wine on a virtual X
# desktop with openbox: the setup program installs silently into a fresh Wine
# prefix (with the IPA fonts in C:\windows\Fonts), the Start-menu entry and
# the installed-apps entry exist, the installed tovali3.exe converts pictures
# named on its command line (Japanese names and one outside code page 932),
# writes config.ini under %APPDATA%\Quorbel\Tovali3, refuses a second
# instance, and the silent uninstall leaves no program file or key behind
# (config.ini stays). Screenshots of the main window at 100 % and 200 %
# (LogPixels 96 and 192), light and dark (AppsUseLightTheme), go to the
# output folder: main-<theme>-<dpi>.png, and job-light-96.png.
#
# Usage: scripts/windows-desktop-test.sh SETUP.exe [OUTPUT_FOLDER]
# Gives up after TOVALI_DESKTOP_TEST_LIMIT seconds (default 900).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
[ $# -ge 1 ] && [ $# -le 2 ] || { sed -n 2,13p "$0" >&2; exit 2; }
setup=$(realpath "$1")
out=$(realpath -m "${2:-build-windows/desktop-test}")

if [ -z "${TOVALI_DESKTOP_TEST_TIMED:-}" ]; then
    export TOVALI_DESKTOP_TEST_TIMED=1
    exec timeout --kill-after=10 "${TOVALI_DESKTOP_TEST_LIMIT:-900}" "$0" "$@"
fi

source scripts/deps.sh
tovali_install_deps
tovali_install_deps "${TOVALI_WINDOWS_PACKAGES[@]}"
tovali_install_desktop_deps
mkdir -p "$out"
source scripts/desktop-session.sh

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

tovali_start_desktop 1920x1200
trap 'wineserver -k 2>/dev/null || true; tovali_stop_desktop' EXIT
export WINEPREFIX=$scratch/wine WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko prompts, and no menu entries written into the host's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME QT_SCALE_FACTOR QT_PLUGIN_PATH WINEPATH
wineboot -i >/dev/null 2>&1
# C:\ paths of the prefix as Linux paths, and registry queries.
user_dir=$WINEPREFIX/drive_c/users/$(whoami)
# Wine links the user's Pictures, Desktop, Documents ... to the Linux home
# folder: made folders of the prefix, the test starts with them empty (no
# copy of an earlier run takes a picture's name) and writes nothing outside.
for folder in "$user_dir"/*; do
    [ -L "$folder" ] && rm "$folder" && mkdir "$folder"
done
fonts=$WINEPREFIX/drive_c/windows/Fonts
for face in /usr/share/fonts/opentype/ipafont-gothic/*.ttf /usr/share/fonts/opentype/ipafont-mincho/*.ttf; do
    [ -f "$face" ] && cp -L "$face" "$fonts/"
done
ls "$fonts" | grep -qi ipag || fail "no IPA font to install into the prefix"
# A Japanese Windows has the MS faces; the IPA faces stand in for them, as
# winetricks' fakejapanese does, so that dialogs (the setup program's pages in
# "ＭＳ Ｐゴシック") and the window's default faces find their glyphs.
# The names go through a UTF-16 .reg file: Wine's command lines would pass
# them through the ANSI code page.
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for pair in "ＭＳ ゴシック=IPAGothic" "ＭＳ Ｐゴシック=IPAPGothic" "ＭＳ 明朝=IPAMincho" \
        "ＭＳ Ｐ明朝=IPAPMincho" "MS Gothic=IPAGothic" "MS PGothic=IPAPGothic" \
        "MS UI Gothic=IPAPGothic" "MS Mincho=IPAMincho" "MS PMincho=IPAPMincho"; do
        printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"
    done
} | iconv -f UTF-8 -t UTF-16 >"$scratch/faces.reg"
wine regedit /S "$(winepath -w "$scratch/faces.reg")"

appdata=$user_dir/AppData/Roaming
programs=$user_dir/AppData/Local/Programs/Tovali3
startmenu=$appdata/Microsoft/Windows/Start\ Menu/Programs
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tovali3'
key_exists() { wine reg query "$1" >/dev/null 2>&1; }
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
winpath() { winepath -w "$1" 2>/dev/null; }

# ---- Install ---------------------------------------------------------------
# Everyone is an administrator under Wine: /CurrentUser installs as a user
# without administrator rights gets it by default.
wine "$setup" /S /CurrentUser || fail "the setup program ended with status $?"
[ -f "$programs/tovali3.exe" ] || fail "no tovali3.exe in %LOCALAPPDATA%\\Programs\\Tovali3"
[ -f "$startmenu/Tovali 3.lnk" ] || fail "no Start-menu entry \"Tovali 3\""
[ "$(reg_value "$uninstall_key" DisplayName)" = "Tovali 3" ] || fail "no installed-apps entry"
[ "$(reg_value "$uninstall_key" Publisher)" = "Quorbel" ] || fail "the entry names no publisher"
key_exists 'HKCU\Software\Classes\Applications\tovali3.exe\SupportedTypes' ||
    fail "tovali3.exe is not offered under Open with"
echo "installed: $(find "$programs" -type f | wc -l) files, Start-menu entry and installed-apps entry" \
    "(version $(reg_value "$uninstall_key" DisplayVersion), $(($(reg_value "$uninstall_key" EstimatedSize))) KiB)"

exe=$(winpath "$programs/tovali3.exe")
messages=$scratch/messages.log
# Message boxes are written to this file instead of being shown, and answered
# with their first button (Yes to "終了してよろしいですか？").
export TOVALI3_MESSAGE_LOG
TOVALI3_MESSAGE_LOG=$(winpath "$messages")
# True when a message box said exactly $1 (the log has Windows line ends).
said() { tr -d '\r' <"$messages" | grep -qx "$1"; }

# Screen resolution and apps' theme, for the programs started after it (the
# Wine session is restarted; Explorer windows left open go with it).
set_look() {
    local dpi=$1 theme=$2
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize' \
        /v AppsUseLightTheme /t REG_DWORD /d "$([ "$theme" = dark ] && echo 0 || echo 1)" /f >/dev/null
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

# Starts the installed program with the given Windows paths; app holds its pid.
start() {
    wine "$exe" "$@" 2>>"$scratch/wine.err" &
    app=$!
}

# Closes the main window as a user does (Alt+F4, "はい") and waits for the
# program to end.
close_main() {
    local window
    window=$(visible '^Tovali 3$')
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
    for _ in $(seq 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.2
    done
    kill -0 "$app" 2>/dev/null && fail "the program did not end on a confirmed close"
    closed_status=0
    wait "$app" || closed_status=$?
    app=""
}

# ---- Pictures named on the command line ------------------------------------
set_look 96 light
pictures=$user_dir/Pictures/旅行
mkdir -p "$pictures"
names=(写真1.jpg 写真2.png 𠮷野家😀.jpg)
sources=(jpeg/colour.jpg png/basn2c08.png jpeg/colour.jpg)
# JPEG is the output type when nothing else is chosen.
outputs=(s-写真1.jpg s-写真2.jpg s-𠮷野家😀.jpg)
for i in "${!names[@]}"; do cp "tests/data/${sources[$i]}" "$pictures/${names[$i]}"; done
args=()
for name in "${names[@]}"; do args+=("$(winpath "$pictures/$name")"); done
start "${args[@]}"
status=$(visible '^進行状況$')
for _ in $(seq 150); do
    [ "$(find "$pictures" -name 's-*' | wc -l)" = 3 ] && break
    sleep 0.2
done
sleep 1
import -window root "$out/job-light-96.png"
for output in "${outputs[@]}"; do
    [ -s "$pictures/$output" ] || fail "$output was not written"
done
# One copy each, no numbered second one.
[ "$(find "$pictures" -name 's-*' | wc -l)" = 3 ] ||
    fail "more than one copy per picture: $(ls "$pictures" | tr '\n' ' ')"
echo "converted from the command line: ${names[*]}"
# The same copies as the Linux build makes, byte for byte, when one is given.
if [ -x "${TOVALI_LINUX_BATCH:-}" ]; then
    mkdir -p "$scratch/linux"
    for i in "${!names[@]}"; do cp "tests/data/${sources[$i]}" "$scratch/linux/${names[$i]}"; done
    "$TOVALI_LINUX_BATCH" --config "$scratch/none.ini" -- "${names[@]/#/$scratch/linux/}" >/dev/null
    for output in "${outputs[@]}"; do
        cmp -s "$scratch/linux/$output" "$pictures/$output" ||
            fail "$output differs from the Linux build's"
    done
    echo "the copies equal those of $TOVALI_LINUX_BATCH byte for byte"
fi

# A second start while the first runs: refused, and the first one carries on.
: >"$messages"
timeout 60 wine "$exe" "${args[0]}" 2>>"$scratch/wine.err" && second=0 || second=$?
[ "$second" = 1 ] || fail "a second instance ended with status $second"
said '既に起動しています' || fail "the second instance did not say 既に起動しています"
kill -0 "$app" || fail "the first instance ended when the second started"
[ "$(find "$pictures" -name 's-s-*' | wc -l)" = 0 ] || fail "the second instance converted something"
echo "a second start says 既に起動しています and ends"

# "保存先を開く" opens Explorer on the pictures' folder (with the last file
# selected).
xdotool mousemove --window "$status" 153 67 click 1
visible '^旅行$' >/dev/null || fail "保存先を開く opened no Explorer window on 旅行"
import -window root "$out/explorer-light-96.png"
echo "保存先を開く opened Explorer on 旅行"

# "閉じる" (Esc presses it) gives the main window back.
xdotool windowactivate --sync "$status" key Escape 2>/dev/null || true
sleep 0.5

# ---- Pictures dropped from a Linux file manager (XDND through Wine) ----------
# drag_source drags the files named on its command line when pressed; the
# button is released over the main window's page area.
g++ -std=c++17 -fPIC -O1 tests/desktop/drag_source.cpp $(pkg-config --cflags --libs Qt6Widgets) \
    -o "$scratch/drag_source"
dropped=$user_dir/Pictures/ドロップ
mkdir -p "$dropped"
cp tests/data/jpeg/colour.jpg "$dropped/花 火.jpg"
cp tests/data/gif/$(ls tests/data/gif | grep -v -i anim | head -1) "$dropped/絵.gif"
QT_QPA_PLATFORM=xcb "$scratch/drag_source" "$dropped/花 火.jpg" "$dropped/絵.gif" 2>/dev/null &
drag_source=$!
source_window=$(visible '^drag source$')
main_window=$(visible '^Tovali 3$')
eval "$(xdotool getwindowgeometry --shell "$source_window" | sed 's/^/S/')"
eval "$(xdotool getwindowgeometry --shell "$main_window")"
xdotool mousemove $((SX + 80)) $((SY + 80)) mousedown 1
for i in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $((SX + 80 + (X + 400 - SX - 80) * i / 10)) $((SY + 80 + (Y + 200 - SY - 80) * i / 10))
    sleep 0.15
done
xdotool mouseup 1
for _ in $(seq 150); do
    [ "$(find "$dropped" -name 's-*' | wc -l)" = 2 ] && break
    sleep 0.2
done
kill "$drag_source" 2>/dev/null || true
[ -s "$dropped/s-花 火.jpg" ] && [ -s "$dropped/s-絵.jpg" ] ||
    fail "the dropped pictures were not converted: $(ls "$dropped" | tr '\n' ' ')"
echo "dropped from the Linux side: 花 火.jpg and 絵.gif converted"
status=$(visible '^進行状況$')
xdotool windowactivate --sync "$status" key Escape 2>/dev/null || true
sleep 0.5

# The settings are written at the end.
close_main
config=$appdata/Quorbel/Tovali3/config.ini
[ -s "$config" ] || fail "no config.ini under %APPDATA%\\Quorbel\\Tovali3"
grep -q '^\[PIC_SIZE\]' "$config" || fail "config.ini holds no [PIC_SIZE] section"
said '終了してよろしいですか？' || fail "closing did not ask 終了してよろしいですか？"
echo "config.ini written: $(wc -l <"$config") lines"

# ---- Logging off during a job ----------------------------------------------
# Ends the job as a confirmed close does: the files written so far stay,
# none is half written, and the settings are saved.
big=$user_dir/Pictures/big
mkdir -p "$big"
convert tests/data/jpeg/colour.jpg -resize '4000x3000!' -quality 92 "$big/p00.jpg"
for i in $(seq -w 1 39); do cp "$big/p00.jpg" "$big/p$i.jpg"; done
rm -f "$config"
start $(for f in "$big"/p*.jpg; do winpath "$f"; done)
for _ in $(seq 300); do
    [ -n "$(find "$big" -name 's-*')" ] && break
    sleep 0.2
done
[ -n "$(find "$big" -name 's-*')" ] || fail "the job over 40 photos wrote nothing"
wine wineboot --end-session >/dev/null 2>&1 || true
for _ in $(seq 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$app" 2>/dev/null && fail "the program kept running after the session ended"
app=""
written=$(find "$big" -name 's-*' | wc -l)
[ "$written" -lt 40 ] || fail "the job was not stopped: all 40 photos were written"
for f in "$big"/s-*; do identify "$f" >/dev/null 2>&1 || fail "$(basename "$f") is not whole"; done
[ "$(find "$big" -type f | wc -l)" = $((40 + written)) ] || fail "a stray file was left in $big"
[ -s "$config" ] || fail "the settings were not saved at the session's end"
echo "the session's end stopped the job after $written of 40 photos; settings saved"

# ---- A settings folder that cannot be made ---------------------------------
# (a file named Quorbel in its place; permissions would not stop root): the
# program runs on the defaults and says at the end which file it could not
# write, and ends normally.
saved_config=$scratch/config.ini
mv "$config" "$saved_config"
rm -rf "$appdata/Quorbel"
echo "not a folder" >"$appdata/Quorbel"
: >"$messages"
start
visible '^Tovali 3$' >/dev/null
sleep 1
close_main
[ "$closed_status" = 0 ] || fail "without a settings folder the program ended with status $closed_status"
grep -q 'に書き込めません' "$messages" || fail "an unwritable config.ini was not reported"
echo "no settings folder to be had: \"$(grep 'に書き込めません' "$messages" | head -1)\", then a normal end"
rm "$appdata/Quorbel"
mkdir -p "$(dirname "$config")"
mv "$saved_config" "$config"

# ---- The main window at 100 % and 200 %, light and dark ---------------------
for theme in light dark; do
    for dpi in 96 192; do
        set_look "$dpi" "$theme"
        start
        window=$(visible '^Tovali 3$')
        sleep 2
        # The date page button, at (67, 207) of the window's client area.
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove --window "$window" $((67 * dpi / 96)) $((207 * dpi / 96)) click 1
        sleep 1
        import -window root "$out/main-$theme-$dpi.png"
        import -window "$window" "$out/client-$theme-$dpi.png"
        # Qt 6.4 gives dark check boxes and radio buttons a blue base
        # (#0078d7), which would fill every indicator of the date page.
        blue=$(convert "$out/client-$theme-$dpi.png" -fill black +opaque '#0078d7' \
            -fill white -opaque '#0078d7' -format '%[fx:round(mean*w*h)]' info:)
        [ "$blue" = 0 ] || fail "client-$theme-$dpi.png: $blue pixels in the check-box blue"
        echo "main-$theme-$dpi.png: window ${WIDTH}x${HEIGHT}"
        close_main
    done
done
set_look 96 light

# ---- Uninstall -------------------------------------------------------------
uninstaller=$(winpath "$programs/uninstall.exe")
wine "$uninstaller" /S
# The uninstaller runs on from a copy of itself in the temporary folder.
for _ in $(seq 100); do
    [ -e "$programs" ] || break
    sleep 0.2
done
[ -e "$programs" ] && fail "left behind: $(find "$programs" | head -5)"
[ -e "$startmenu/Tovali 3.lnk" ] && fail "the Start-menu entry is left"
for key in "$uninstall_key" 'HKCU\Software\Classes\Applications\tovali3.exe' \
    'HKCU\Software\Classes\Quorbel.Tovali3.jpg' 'HKCU\Software\Classes\.jpg'; do
    key_exists "$key" && fail "left in the registry: $key"
done
[ -s "$config" ] || fail "the uninstaller removed config.ini without being asked"
echo "uninstalled: no program file, shortcut or key left; config.ini kept"
echo "screenshots in $out"
