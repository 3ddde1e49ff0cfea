#!/usr/bin/env bash
# Installs what is missing, builds the programs with Debian's hardening flags
# in build-deb/, and writes the Debian package tovali3_<version>_<arch>.deb
# into out/ (or the folder given). Install it with
#   sudo apt-get install ./out/tovali3_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_deps

out=$(realpath -m "${1:-out}")
flags() { dpkg-buildflags --get "$1"; }
# Only what the package holds is built (not the tests): CPack's install step
# then skips building everything first.
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVALI_BENCH=OFF \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    "-DCMAKE_C_FLAGS=$(flags CFLAGS) $(flags CPPFLAGS)" \
    "-DCMAKE_CXX_FLAGS=$(flags CXXFLAGS) $(flags CPPFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)"
cmake --build build-deb -j"$(nproc)" --target tovali3 tovali3-batch man_pages package_changelog
cpack --config build-deb/CPackConfig.cmake -B "$out"
ls "$out"/tovali3_*.deb
