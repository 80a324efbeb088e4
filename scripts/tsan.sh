#!/bin/sh
# Builds the window's tests with ThreadSanitizer and runs them, with the Qt frames of queued-call
# handoffs suppressed (scripts/tsan.supp says why). Slow, so not part of ./test.sh.
# Usage: scripts/tsan.sh [build folder] [-- gtest arguments]   (default: build-tsan)
#   QUILLON_TSAN_JOBS   parallel compile jobs (default 2)
#   QUILLON_TSAN_RAW=1  run without the suppressions, to count what they hide
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-tsan"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift
case $build in /*) ;; *) build="$root/$build" ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLON_BENCH=OFF $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
fi
nice -n 19 cmake --build "$build" --target test_ui -j"${QUILLON_TSAN_JOBS:-2}"

options="halt_on_error=0 second_deadlock_stack=1 history_size=4"
if [ "${QUILLON_TSAN_RAW:-0}" != 1 ]; then
    options="$options suppressions=$root/scripts/tsan.supp"
fi
# Each report starts with "WARNING: ThreadSanitizer"; the count and the run's status are the
# figures to look at. The tests' own failures still fail the run.
log="$build/tsan.log"
status=0
QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="$options" QUILLON_BINARY_DIR="$build" \
    "$build/tests/test_ui" "$@" > "$log" 2>&1 || status=$?
reports=$(grep -c '^WARNING: ThreadSanitizer' "$log" || true)
echo "ThreadSanitizer reports: $reports (log in $log); tests exited with $status"
grep -E '^\[  (PASSED|FAILED) ' "$log" || true
[ "$status" -eq 0 ] && [ "$reports" -eq 0 ]
