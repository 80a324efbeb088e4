#!/bin/sh
# Takes the screenshots under docs/screenshots/ on a virtual X display: the main window after
# reading an ATmega2560, the Lock & Fuses dialog of an ATmega169 and of an ATmega8 (named bits),
# of an ATmega328P (its fields in words, a preset chosen), its warning
# before a lock-out write, the progress window of a long write (about 10 s), the About box, the
# production panel; and the wiring drawing of one chip of each package.
# Usage: scripts/screenshots.sh [build folder]
#   (default build folder: build; a relative one is taken from the source tree)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build="$root/$build" ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -G Ninja -S "$root" -B "$build" -DQUILLON_GUI=ON
fi
cmake --build "$build" --target quillon-screenshots quillon-cli -j2

out="$root/docs/screenshots"
mkdir -p "$out"
# The xcb platform on a virtual screen renders like a desktop; -a picks a free display number.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/src/ui/quillon-screenshots" "$out"
# The wiring drawings, one chip of each package.
for chip in ATtiny85 ATtiny2313 ATmega8 ATmega16 ATmega128 ATmega2560; do
    "$build/src/cli/quillon-cli" wiring --chip "$chip" --out "$out/wiring-$(echo "$chip" | tr 'A-Z' 'a-z').png"
done
