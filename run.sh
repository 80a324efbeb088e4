#!/usr/bin/env bash
# Installs what is missing, builds the program and starts its window.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target quillon-gui
exec build/src/ui/quillon "$@"
