#!/usr/bin/env bash
# Builds the Debian package kestrava_<version>_<arch>.deb into build/package/ (or
# $BUILD_DIR/package), building first whatever is not built yet. Library dependencies come
# from dpkg-shlibdeps; see docs/packaging.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/build.sh"
out="$build/package"
rm -rf "$out"
mkdir -p "$out"
if ! (cd "$build" && cpack -G DEB -B "$out") >"$build/cpack.log" 2>&1; then
    cat "$build/cpack.log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
fi
debs=("$out"/kestrava_*.deb)
if [ ! -f "${debs[0]}" ]; then
    cat "$build/cpack.log" >&2
    echo "package.sh: cpack made no kestrava_*.deb" >&2
    exit 1
fi
echo "package: ${debs[0]}"
dpkg-deb --field "${debs[0]}" Package Version Architecture Depends Installed-Size
