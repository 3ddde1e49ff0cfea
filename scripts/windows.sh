#!/usr/bin/env bash
# Builds Tovali 3 for 64-bit Windows with MinGW-w64 against the libraries
# scripts/windows-deps.sh builds from Debian's sources (run first when its
# cache is missing), and writes the portable folder as
# out/windows/Tovali3-<version>-win64.zip: both programs, every DLL they load,
# Qt's plugins and Japanese texts, the manual and the Q&A, and the same folder
# as the setup program out/windows/Tovali3-<version>-setup.exe (NSIS); then
# runs the unzipped folder in a Wine prefix of its own.
#
#   scripts/windows.sh            build, write the zip and the setup program, try the zip
#   scripts/windows.sh --test     also run the test suite under Wine
#   scripts/windows.sh --desktop  also install, use and remove the program on a
#                                 virtual desktop (scripts/windows-desktop-test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
run_tests=0
run_desktop=0
for arg in "$@"; do
    case "$arg" in
    --test) run_tests=1 ;;
    --desktop) run_desktop=1 ;;
    *) sed -n 2,13p "$0" >&2; exit 2 ;;
    esac
done
source scripts/deps.sh
tovali_install_deps "${TOVALI_WINDOWS_PACKAGES[@]}"

if ! prefix=$(bash scripts/windows-deps.sh --prefix | tail -n1); then
    bash scripts/windows-deps.sh
    prefix=$(bash scripts/windows-deps.sh --prefix | tail -n1)
fi
export TOVALI_MINGW_PREFIX=$prefix
triplet=x86_64-w64-mingw32
build=$root/build-windows

# The same optimisation as the Linux build (RelWithDebInfo), so that both
# compute alike; the debug information is stripped from what is shipped.
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DTOVALI_MINGW_PREFIX="$prefix" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVALI_WERROR=ON -DTOVALI_BENCH=OFF
# Failed tests fail the run at its end, after the zip and its own check.
tests_status=0
if [ $run_tests = 1 ]; then
    cmake --build "$build" -j"$(nproc)"
    # One at a time: the tests share the Wine prefix's settings folder.
    ctest --test-dir "$build" --output-on-failure || tests_status=$?
else
    cmake --build "$build" -j"$(nproc)" --target tovali3 tovali3-batch
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=Tovali3-$version-win64
stage=$build/zip/$name
rm -rf "$build/zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"

# Where the DLLs come from: the libraries' prefix, then MinGW's runtime.
# Anything else must be a DLL of Windows itself (Wine has them all) or one of
# its API sets (api-ms-win-*, which the loader maps onto those).
dll_dirs=("$prefix/bin" /usr/lib/gcc/$triplet/12-posix /usr/$triplet/lib)
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

# Copies the DLLs that the PE file $1 imports, and theirs, into the stage.
copy_imports() {
    local dll dir found
    for dll in $($triplet-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
        [ -e "$stage/$dll" ] && continue
        found=
        for dir in "${dll_dirs[@]}"; do
            found=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit)
            [ -n "$found" ] && break
        done
        if [ -z "$found" ]; then
            [[ ${dll,,} == api-ms-win-* || ${dll,,} == ext-ms-* ]] && continue
            [ -n "$(find "$system_dlls" -maxdepth 1 -iname "$dll" -print -quit)" ] && continue
            echo "$1 needs $dll, which is neither built nor a Windows DLL" >&2
            exit 1
        fi
        cp "$found" "$stage/$dll"
        copy_imports "$stage/$dll"
    done
}

cp "$build/app/tovali3.exe" "$build/app/tovali3-batch.exe" "$stage/"
# The window's platform and style, and the offscreen platform tovali3-batch
# draws its texts on.
cp "$prefix/plugins/platforms/qwindows.dll" "$prefix/plugins/platforms/qoffscreen.dll" \
    "$stage/platforms/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
for pe in "$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll; do
    copy_imports "$pe"
done
find "$stage" -iname '*.exe' -o -iname '*.dll' | xargs $triplet-strip --strip-unneeded
# Qt's Japanese button and dialog texts; qt.conf points Qt at the folders
# beside the programs.
cp /usr/share/qt6/translations/qtbase_ja.qm "$stage/translations/"
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$stage/qt.conf"
mkdir -p "$stage/docs"
cp -r docs/manual.html docs/qa.html docs/style.css docs/images "$stage/docs/"

mkdir -p out/windows
zip="$root/out/windows/$name.zip"
rm -f "$zip"
(cd "$build/zip" && zip -qr9X "$zip" "$name")
echo "$zip ($(du -k "$zip" | cut -f1) KiB, $(find "$stage" -type f | wc -l) files)"
setup=$(bash scripts/windows-installer.sh "$stage" "$version" \
    "$root/out/windows/Tovali3-$version-setup.exe" "$build/resources/art/tovali3.ico" | tail -n1)
echo "$setup ($(du -k "$setup" | cut -f1) KiB)"

# Installed from the setup program, used and removed on a virtual desktop;
# its copies are compared with the Linux build's when there is one.
desktop_test() {
    [ $run_desktop = 1 ] || return 0
    local linux_batch=$root/build/app/tovali3-batch
    [ -x "$linux_batch" ] || linux_batch=""
    TOVALI_LINUX_BATCH=$linux_batch bash scripts/windows-desktop-test.sh "$setup" \
        "$build/desktop-test"
}

# The unzipped folder in a Wine prefix of its own, with no DLL path and no Qt
# setting from outside, and the IPA fonts installed as a Japanese Windows has
# its own: tovali3-batch converts pictures named in Japanese and outside code
# page 932 under both ANSI code pages Wine can give (1252 and 932) and draws a
# comment in the system's fonts; the window starts and keeps running.
check=$build/zip-check
rm -rf "$check"
mkdir -p "$check"
(cd "$check" && unzip -q "$zip")
unset WINEPATH QT_PLUGIN_PATH QT_QPA_FONTDIR QT_QPA_PLATFORM LC_ALL
export WINEPREFIX=$check/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
cp /usr/share/fonts/opentype/ipafont-*/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -w

# Converts copies of a photo named $2... in folder $1 into PNG, with the
# extra settings given after --, under the ANSI code page of LANG=$lang;
# fails unless one file is written per picture.
convert_in() {
    local dir=$1 sets=() pictures=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do pictures+=("$dir/$1"); shift; done
    shift
    for s in "$@"; do sets+=(--set "$s"); done
    mkdir -p "$dir"
    for p in "${pictures[@]}"; do cp tests/data/jpeg/colour.jpg "$p"; done
    env LANG="$lang" wine "$check/$name/tovali3-batch.exe" --config "$check/none.ini" --set PIC_SAVE/TYPE_JPEG=0 \
        --set PIC_SAVE/TYPE_PNG=1 "${sets[@]}" -- "${pictures[@]}" >/dev/null
    local made
    made=$(($(find "$dir" -type f | wc -l) - ${#pictures[@]}))
    [ $made = ${#pictures[@]} ] || {
        echo "tovali3-batch.exe wrote $made of ${#pictures[@]} files in $dir" >&2
        return 1
    }
}
# The names reach Wine as UTF-8 either way: C.UTF-8 gives code page 1252.
for lang in C.UTF-8 ja_JP.UTF-8; do
    convert_in "$check/names-${lang%%.*}" 写真.jpg 𠮷野家😀.jpg -- PIC_SIZE/USE_PIC_SIZE=1
    echo "LANG=$lang: the unzipped tovali3-batch.exe converted 写真.jpg and 𠮷野家😀.jpg"
done
lang=C.UTF-8
convert_in "$check/plain" a.jpg --
convert_in "$check/comment" a.jpg -- PIC_COMMENT/USE_DATE=1 PIC_COMMENT/COMMENT=テスト
if cmp -s "$(find "$check/plain" -name '*.png')" "$(find "$check/comment" -name '*.png')"; then
    echo "the unzipped tovali3-batch.exe drew no comment: it finds no font" >&2
    exit 1
fi
echo "the unzipped tovali3-batch.exe draws a comment in the system's fonts"
# The window has started when it is still up after 20 seconds; a missing DLL
# or plugin ends it at once.
status=0
WINEDEBUG=-all,err+module timeout 20 wine "$check/$name/tovali3.exe" 2>"$check/window.err" ||
    status=$?
if [ $status != 124 ] || grep -q 'not found' "$check/window.err"; then
    cat "$check/window.err" >&2
    echo "the unzipped tovali3.exe did not start (status $status)" >&2
    exit 1
fi
echo "the unzipped tovali3.exe starts"
desktop_test
[ $tests_status = 0 ] || echo "Some tests failed under Wine (above)." >&2
exit $tests_status
