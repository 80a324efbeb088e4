#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build folder and runs the Intel HEX reader's
# fuzzer for a bounded time (seconds, default 60). Inputs it finds go to a scratch corpus; a
# crash leaves its input in the build folder and fails the script: add it to fuzz/corpus/hex/.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLON_FUZZ_BUILD:-$root/build-fuzz}"

CXX=clang++ CC=clang cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLON_FUZZ=ON -DQUILLON_GUI=OFF -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF >/dev/null
ninja -C "$build" fuzz_hex_reader

work="$build/fuzz-hex"
mkdir -p "$work/corpus" "$work/artifacts"
"$build/fuzz/fuzz_hex_reader" "$work/corpus" "$root/fuzz/corpus/hex" \
  -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/"
