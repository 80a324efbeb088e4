#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build folder and runs each reader's fuzzer for
# a bounded time (seconds per reader, default 60): Intel HEX, ELF, S-record. Inputs they find go
# to scratch corpora; a crash leaves its input in the build folder and fails the script: add it
# to the reader's folder under fuzz/corpus/.
# Usage: fuzz/run.sh [build folder] [seconds]
#   (default build folder: build-fuzz; a relative one is taken from the source tree)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-build-fuzz}
case $build in /*) ;; *) build="$root/$build" ;; esac
seconds="${2:-60}"

CXX=clang++ CC=clang cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLON_FUZZ=ON -DQUILLON_GUI=OFF -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF >/dev/null
ninja -C "$build" fuzz_hex_reader fuzz_elf_reader fuzz_srec_reader

for reader in hex:4096 elf:16384 srec:4096; do
  max_len="${reader#*:}"
  reader="${reader%%:*}"
  work="$build/fuzz-$reader"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== $reader reader, $seconds s"
  "$build/fuzz/fuzz_${reader}_reader" "$work/corpus" "$root/fuzz/corpus/$reader" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/"
done
