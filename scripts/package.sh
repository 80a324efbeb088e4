#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it: the files it holds, the
# dependencies it declares, and an install into a throw-away root where quillon-cli and the
# window land in /usr/bin, on the PATH the desktop entry and a shell rely on.
# Prints the package's path last.
# Usage: scripts/package.sh [build folder]
#   (default build folder: build; a relative one is taken from the source tree)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-build}
case $build in /*) ;; *) build="$root/$build" ;; esac
cmake --build "$build" --target quillon-gui quillon-cli tavro-sim >/dev/null

out="$build/package"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb="$(ls "$out"/quillon_*.deb)"

fail() { echo "package check: $*" >&2; exit 1; }

contents="$(dpkg-deb --contents "$deb" | awk '{print $NF}')"
for file in ./usr/bin/quillon ./usr/bin/quillon-cli ./usr/bin/tavro-sim \
            ./usr/share/applications/quillon.desktop \
            ./usr/share/icons/hicolor/scalable/apps/quillon.svg \
            ./usr/share/doc/Quillon/README.md ./usr/share/doc/Quillon/usage.md \
            ./usr/share/doc/Quillon/gateway.md ./usr/share/doc/Quillon/production.md; do
  grep -qxF "$file" <<<"$contents" || fail "$file is missing from $deb"
done

depends="$(dpkg-deb --field "$deb" Depends)"
# No libserialport: on Linux the ports are opened on the tty layer and listed from sysfs.
for lib in libqt6widgets6 libelf1 qt6-qpa-plugins libsqlite3 libtomlplusplus3 libssl3 libpq5; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# A root of its own with an empty package database: nothing of this machine is touched.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates"
touch "$scratch/var/lib/dpkg/status"
# The throw-away root holds none of the libraries, so their absence is forced past.
dpkg --root="$scratch" --force-depends --force-not-root --log=/dev/null -i "$deb" >"$scratch/dpkg.out" 2>&1 ||
  { cat "$scratch/dpkg.out"; fail "dpkg could not install $deb"; }
dpkg --root="$scratch" -L quillon | grep -qxF /usr/bin/quillon-cli || fail "dpkg does not list /usr/bin/quillon-cli"

desktop="$scratch/usr/share/applications/quillon.desktop"
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
[ -x "$scratch/usr/bin/$exec_name" ] || fail "the desktop entry runs \"$exec_name\", not in /usr/bin"
[ -f "$scratch/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "no icon \"$icon_name\""
[ -x "$scratch/usr/bin/quillon-cli" ] || fail "quillon-cli is not in /usr/bin"
version="$(PATH="$scratch/usr/bin:/usr/bin:/bin" quillon-cli --version)"
[ "$version" = "quillon-cli $(dpkg-deb --field "$deb" Version)" ] || fail "quillon-cli --version says \"$version\""

echo "$deb"
