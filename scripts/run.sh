#!/usr/bin/env bash
# Installs what is missing, builds, and opens the window; any pictures named
# on the command line are converted at once.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
tovali_install_deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tovali3
exec build/app/tovali3 "$@"
