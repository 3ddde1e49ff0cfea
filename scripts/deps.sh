#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# when any of them is missing. Sourced by run.sh, test.sh and package.sh.
# The program's own runtime packages are here too, so that the package built
# by package.sh installs without fetching anything.
set -euo pipefail

TOVALI_PACKAGES=(
    build-essential cmake pkg-config clang clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-gtk-platformtheme qt6-translations-l10n
    libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev zlib1g-dev libgif-dev libsimpleini-dev
    libheif-dev libwebp-dev liblcms2-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-ipafont-gothic fonts-ipafont-mincho fontconfig libfontconfig-dev qt6-qpa-plugins
    xvfb xauth dbus-daemon at-spi2-core
    scdoc groff-base gzip file dpkg-dev lintian appstream desktop-file-utils
)

# Installs the packages named (all of TOVALI_PACKAGES when none are).
tovali_install_deps() {
    local wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${TOVALI_PACKAGES[@]}")
    local missing=()
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What scripts/desktop-screenshots.sh and scripts/stop-latency.sh add: a
# window manager, a pointer and key driver, a screen grabber, a calculator;
# and the real photos that the benches and scripts/compare-outputs.sh use
# (/usr/share/backgrounds).
TOVALI_DESKTOP_PACKAGES=(openbox xdotool imagemagick bc lomiri-wallpapers-20.04 lomiri-wallpapers-16.04)

tovali_install_desktop_deps() {
    tovali_install_deps "${TOVALI_DESKTOP_PACKAGES[@]}"
}

# What the benches that time whole programs add (bench/compare.sh,
# bench/pixels.sh, bench/window.sh): hyperfine to time them, the peers they
# are set against, and GNU time for peak memory; the photos come with the
# desktop packages.
TOVALI_BENCH_PACKAGES=(hyperfine libvips-tools graphicsmagick imagemagick time)

tovali_install_bench_deps() {
    tovali_install_deps "${TOVALI_BENCH_PACKAGES[@]}" "${TOVALI_DESKTOP_PACKAGES[@]}"
}

# What the Windows build adds (scripts/windows-deps.sh, scripts/windows.sh):
# the MinGW-w64 cross compiler with the posix thread model, Wine to run the
# programs and tests, the tools Debian's library sources build with, NSIS for
# the installer, and zip for the portable folder.
TOVALI_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix wine64 wine nasm meson ninja-build nsis unzip zip dpkg-dev
)
