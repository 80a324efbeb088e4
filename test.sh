#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: a bounded fuzzing run of the
# Intel HEX, ELF and S-record readers first, then the fault matrix of the command line against the
# simulated gateway, then every GoogleTest suite through CTest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
echo "Fuzzing the Intel HEX, ELF and S-record readers for 20 s each (output in build/fuzz.log)"
if ! fuzz/run.sh build-fuzz 20 > build/fuzz.log 2>&1; then
  tail -n 40 build/fuzz.log
  echo "The fuzzer found a failing input: see build/fuzz.log"
  exit 1
fi
grep -E '^(==|Done)' build/fuzz.log || true
echo "Every command against the simulated gateway with each fault on:"
scripts/fault-matrix.sh build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2 --timeout 600 -LE fault-matrix
