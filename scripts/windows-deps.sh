#!/usr/bin/env bash
# Builds every library the Windows program links, for x86_64-w64-mingw32, from
# the Debian 12 source package of the very version the Linux build uses, so
# both platforms decode and encode alike. Installs into a cache outside the
# clone and prints the prefix on its last line.
#
#   scripts/windows-deps.sh            build what is missing, print the prefix
#   scripts/windows-deps.sh --prefix   print the prefix only (exit 1 if not built)
#
# The cache folder's key is made of the source versions and this script's own
# content (with the toolchain files), so a change to either builds a new
# prefix. Each library is stamped when installed: a re-run skips what is done
# and an interrupted run resumes with the library it was building.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/deps.sh

# Source package, and the installed binary package whose source version the
# Linux build uses. Qt first: it takes most of the time, and nothing of the
# program builds without it.
TOVALI_WINDOWS_LIBS=(
    "qt6-base qt6-base-dev"
    "zlib zlib1g-dev"
    "libpng1.6 libpng-dev"
    "libjpeg-turbo libjpeg62-turbo-dev"
    "giflib libgif-dev"
    "lcms2 liblcms2-dev"
    "libwebp libwebp-dev"
    "libde265 libde265-0"
    "dav1d libdav1d6"
    "aom libaom3"
    "libheif libheif-dev"
    "googletest libgtest-dev"
    "libsimpleini libsimpleini-dev"
)

source_version() { dpkg-query -W -f='${source:Version}' "$1"; }

cache_key() {
    local entry
    {
        for entry in "${TOVALI_WINDOWS_LIBS[@]}"; do
            set -- $entry
            echo "$1 $(source_version "$2")"
        done
        cat scripts/windows-deps.sh cmake/mingw-w64.cmake cmake/mingw-w64.meson
    } | sha256sum | cut -c1-12
}

tovali_install_deps
tovali_install_deps "${TOVALI_WINDOWS_PACKAGES[@]}"

cache=${XDG_CACHE_HOME:-$HOME/.cache}/tovali3
key=$(cache_key)
top=$cache/mingw-$key
prefix=$top/prefix
if [ "${1:-}" = "--prefix" ]; then
    [ -f "$top/stamps/all.done" ] || exit 1
    echo "$prefix"
    exit 0
fi

# apt-get source needs deb-src entries; Debian 12 images ship only deb lines.
ensure_deb_src() {
    local list=/etc/apt/sources.list.d/tovali3-bookworm-src.sources
    if ! apt-cache showsrc zlib 2>/dev/null | grep -q '^Package:'; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo tee "$list" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        $sudo apt-get update -qq
    fi
}

# Unpacks (with Debian's patches applied) the source of package $1 at version
# $2 once into the shared sources folder; prints its folder. The archive
# serves the sources of the main suite but not always those of security
# updates: then the newest source of the same upstream release that can be
# had is used, and the version is written to the prefix's versions.txt.
fetch_source() {
    local pkg=$1 wanted=$2 version dir
    local upstream=${wanted%-*}
    for version in "$wanted" $(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' |
        grep -F "$upstream-" | grep -vxF "$wanted" | sort -rV | uniq); do
        dir=$cache/sources/${pkg}_$version
        if [ ! -f "$dir/.unpacked" ]; then
            rm -rf "$dir"
            mkdir -p "$dir"
            (cd "$dir" && apt-get source -qq "$pkg=$version" >/dev/null 2>&1) || {
                rm -rf "$dir"
                continue
            }
            touch "$dir/.unpacked"
        fi
        echo "$pkg $version (the Linux build has $wanted)" >>"$top/versions.txt"
        find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n1
        return 0
    done
    echo "no source of $pkg $upstream could be fetched" >&2
    return 1
}

jobs=$(nproc)
export TOVALI_MINGW_PREFIX=$prefix
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
unset PKG_CONFIG_PATH
triplet=x86_64-w64-mingw32
cmake_cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix")

cmake_build() { # SOURCE BUILD [options…]
    local src=$1 build=$2
    shift 2
    cmake -S "$src" -B "$build" "${cmake_cross[@]}" "$@" &&
        cmake --build "$build" -j"$jobs" && cmake --install "$build"
}

# Debian's source drops zlib's win32 folder, which its CMake build needs for
# the DLL's resource; the library itself is a handful of C files.
build_zlib() {
    local src=$1 build=$2
    mkdir -p "$build" "$prefix/bin" "$prefix/lib/pkgconfig" "$prefix/include"
    cp "$src/zconf.h.in" "$prefix/include/zconf.h"
    cp "$src/zlib.h" "$prefix/include/"
    (cd "$src" && $triplet-gcc-posix -O2 -shared -I"$prefix/include" -o "$build/zlib1.dll" \
        -Wl,--out-implib,"$prefix/lib/libz.dll.a" adler32.c compress.c crc32.c deflate.c \
        gzclose.c gzlib.c gzread.c gzwrite.c infback.c inffast.c inflate.c inftrees.c \
        trees.c uncompr.c zutil.c) &&
        cp "$build/zlib1.dll" "$prefix/bin/" &&
        printf 'prefix=%s\nName: zlib\nDescription: zlib\nVersion: 1.2.13\nLibs: -L${prefix}/lib -lz\nCflags: -I${prefix}/include\n' \
            "$prefix" >"$prefix/lib/pkgconfig/zlib.pc"
}

build_libpng1.6() {
    cmake_build "$1" "$2" -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF
}

build_libjpeg-turbo() {
    cmake_build "$1" "$2" -DENABLE_SHARED=ON -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF \
        -DREQUIRE_SIMD=ON
}

# giflib's Makefile is Linux-only; the library is a handful of C files.
build_giflib() {
    local src=$1 build=$2
    mkdir -p "$build" "$prefix/bin" "$prefix/lib" "$prefix/include"
    (cd "$src" && $triplet-gcc-posix -O2 -shared -o "$build/libgif-7.dll" \
        -Wl,--out-implib,"$prefix/lib/libgif.dll.a" \
        dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c \
        openbsd-reallocarray.c quantize.c) &&
        cp "$build/libgif-7.dll" "$prefix/bin/" && cp "$src/gif_lib.h" "$prefix/include/"
}

build_lcms2() {
    local src=$1 build=$2
    mkdir -p "$build"
    (cd "$build" && "$src/configure" --host=$triplet --prefix="$prefix" --enable-shared \
        --disable-static --without-jpeg --without-tiff CC=$triplet-gcc-posix >/dev/null &&
        make -j"$jobs" >/dev/null && make install >/dev/null)
}

build_libwebp() {
    cmake_build "$1" "$2" -DBUILD_SHARED_LIBS=ON -DWEBP_BUILD_ANIM_UTILS=OFF \
        -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF \
        -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF \
        -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
}

build_libde265() {
    cmake_build "$1" "$2" -DBUILD_SHARED_LIBS=ON -DENABLE_SDL=OFF -DENABLE_DECODER=OFF \
        -DENABLE_ENCODER=OFF
}

build_dav1d() {
    local src=$1 build=$2
    meson setup "$build" "$src" --cross-file "$root/cmake/mingw-w64.meson" \
        --prefix="$prefix" --libdir=lib --buildtype=release -Ddefault_library=shared \
        -Denable_tools=false -Denable_tests=false &&
        ninja -C "$build" -j"$jobs" && ninja -C "$build" install
}

# Only the encoder: AVIF pictures are decoded by dav1d, as on Linux. Debian
# links aom to a system libyuv, which only aom's own tools and the butteraugli
# tuning use; the library's encoder does not need it.
build_aom() {
    cmake_build "$1" "$2" -DBUILD_SHARED_LIBS=ON -DAOM_TARGET_CPU=x86_64 \
        -DCONFIG_LIBYUV=0 -DCONFIG_AV1_DECODER=0 -DENABLE_DOCS=0 -DENABLE_EXAMPLES=0 -DENABLE_TESTS=0 \
        -DENABLE_TOOLS=0 -DENABLE_TESTDATA=0
}

build_libheif() {
    cmake_build "$1" "$2" -DBUILD_SHARED_LIBS=ON -DENABLE_PLUGIN_LOADING=OFF \
        -DWITH_EXAMPLES=OFF -DWITH_GDK_PIXBUF=OFF -DWITH_X265=OFF -DWITH_RAV1E=OFF \
        -DWITH_SvtEnc=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=ON -DWITH_DAV1D=ON \
        -DWITH_LIBDE265=ON -DWITH_LIBSHARPYUV=OFF -DBUILD_TESTING=OFF
}

build_googletest() {
    cmake_build "$1" "$2" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON
}

# Header-only: the header of the same Debian version as the Linux build's.
build_libsimpleini() {
    mkdir -p "$prefix/include" && cp "$1/SimpleIni.h" "$prefix/include/"
}

# Core, Gui, Widgets, Test, the windows platform plugin and the windowsvista
# style, with Debian's own Qt 6 as the host tools. Dynamic GL is turned off
# with OpenGL: Qt 6.4's windows plugin would otherwise still compile its
# dynamic-GL branch.
build_qt6-base() {
    cmake_build "$1" "$2" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_harfbuzz=OFF
}

ensure_deb_src
mkdir -p "$top/stamps" "$top/build" "$top/logs" "$prefix"
echo "Windows libraries into $prefix"
for entry in "${TOVALI_WINDOWS_LIBS[@]}"; do
    set -- $entry
    pkg=$1
    version=$(source_version "$2")
    if [ -f "$top/stamps/$pkg.done" ]; then
        printf '%-14s %-26s already built\n' "$pkg" "$version"
        continue
    fi
    start=$(date +%s)
    src=$(fetch_source "$pkg" "$version")
    rm -rf "$top/build/$pkg"
    if ! "build_$pkg" "$src" "$top/build/$pkg" >"$top/logs/$pkg.log" 2>&1; then
        tail -n 40 "$top/logs/$pkg.log" >&2
        echo "$pkg $version failed; the whole log: $top/logs/$pkg.log" >&2
        exit 1
    fi
    touch "$top/stamps/$pkg.done"
    printf '%-14s %-26s %4d s\n' "$pkg" "$version" $(($(date +%s) - start))
done
touch "$top/stamps/all.done"
echo "$prefix"
