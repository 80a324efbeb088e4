#!/bin/sh
# Rewrites the chip lists of README.md and docs/usage.md from `quillon-cli list-chips`, between
# their "<!-- chip list" and "<!-- end of chip list -->" markers. Run after building.
# Usage: scripts/update-chip-list.sh [build folder]
#   (default build folder: build; a relative one is taken from the source tree)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build="$root/$build" ;; esac
cli=$build/src/cli/quillon-cli
list=$(mktemp)
trap 'rm -f "$list"' EXIT
"$cli" list-chips > "$list"
for doc in README.md docs/usage.md; do
    awk -v list="$list" '
        /^<!-- chip list/ { print; print "```"; while ((getline line < list) > 0) print line; close(list); print "```"; skip = 1; next }
        /^<!-- end of chip list -->/ { skip = 0 }
        !skip { print }
    ' "$root/$doc" > "$root/$doc.new"
    mv "$root/$doc.new" "$root/$doc"
done
