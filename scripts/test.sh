#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal
# build with warnings as errors, once under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_deps

# Every C++ source in the project's own style, before anything is built.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
fi

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVALI_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTOVALI_WERROR=ON -DTOVALI_SANITIZE=ON \
    -DTOVALI_BENCH=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
