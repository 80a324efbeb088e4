#!/bin/sh
# Builds every test suite with AddressSanitizer (leaks included) and runs them through CTest:
# a use after free, an overflow or a leak anywhere in the program's code fails the test that
# reached it. Slow, so not part of ./test.sh; the fuzz targets already run the file readers
# under AddressSanitizer and UndefinedBehaviorSanitizer there.
# Usage: scripts/asan.sh [build folder] [-- ctest arguments, e.g. -R Cancelling]
#   (default build folder: build-asan; a relative one is taken from the source tree)
#   QUILLON_ASAN_JOBS   parallel compile jobs (default 2)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift
case $build in /*) ;; *) build="$root/$build" ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    # Not gcc's UndefinedBehaviorSanitizer: it makes the chip table's compile-time checks on
    # function addresses non-constant, and the build stops there.
    cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLON_BENCH=OFF \
        $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
        -DCMAKE_CXX_FLAGS="-O1 -fsanitize=address -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address"
fi
nice -n 19 cmake --build "$build" -j"${QUILLON_ASAN_JOBS:-2}"
started=$(date +%s)
status=0
# The fault matrix drives the CLI binary through pseudo-terminals; ./test.sh runs it.
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
    nice -n 19 ctest --test-dir "$build" -j2 --timeout 900 -LE fault-matrix --output-on-failure "$@" \
    > "$build/asan.log" 2>&1 || status=$?
grep -E 'tests passed|\(Failed\)|\(Timeout\)|^SUMMARY: AddressSanitizer' "$build/asan.log" || true
echo "Ran in $(( $(date +%s) - started )) s; log in $build/asan.log"
exit "$status"
