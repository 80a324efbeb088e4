#!/bin/sh
# Builds the window's tests with ThreadSanitizer and runs them, with Qt's and GLib's own C library
# calls left out (scripts/tsan.supp says why). Ends with the number of reports; exits non-zero
# when there is any, or when a test fails. Slow, so not part of ./test.sh.
# Usage: scripts/tsan.sh [build folder] [-- gtest arguments]
#   (default build folder: build-tsan; a relative one is taken from the source tree)
#   QUILLON_TSAN_JOBS   parallel compile jobs (default 2)
#   QUILLON_TSAN_RAW=1  run without the suppressions, to count what they hide
# Qt's frames are named where Qt exports the function. For the names of its internal functions
# too, install Debian's libqt6core6-dbgsym, libqt6gui6-dbgsym and libqt6widgets6-dbgsym from
# the debug archive (deb http://deb.debian.org/debian-debug bookworm-debug main): gcc's
# ThreadSanitizer finds them under /usr/lib/debug/.build-id by itself. The report count does
# not depend on them.
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

# history_size=7 keeps enough of each thread's past for both stacks of a report.
options="halt_on_error=0 second_deadlock_stack=1 history_size=7"
if [ "${QUILLON_TSAN_RAW:-0}" != 1 ]; then
    options="$options suppressions=$root/scripts/tsan.supp"
fi
# Each report starts with "WARNING: ThreadSanitizer", the child process that one test starts
# included (it writes to the same log). The tests' own failures still fail the run.
log="$build/tsan.log"
status=0
started=$(date +%s)
QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="$options" QUILLON_BINARY_DIR="$build" \
    nice -n 19 "$build/tests/test_ui" "$@" > "$log" 2>&1 || status=$?
seconds=$(( $(date +%s) - started ))
grep -E '^\[  (PASSED|FAILED) ' "$log" || true
grep '^SUMMARY: ThreadSanitizer' "$log" | sort | uniq -c | sort -rn || true
reports=$(grep -c '^WARNING: ThreadSanitizer' "$log" || true)
echo "Tests ran in ${seconds} s and exited with status $status; log in $log"
echo "ThreadSanitizer reports: $reports"
[ "$status" -eq 0 ] && [ "$reports" -eq 0 ]
