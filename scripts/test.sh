#!/usr/bin/env bash
# Installs the dependencies, builds, checks the formatting, and runs every test (unit, CLI, and mount tests where
# /dev/fuse is usable), then a short run of each fuzz target.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/build.sh"
"$root/scripts/check-format.sh"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
"$root/scripts/fuzz.sh" 20
