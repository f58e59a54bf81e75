#!/usr/bin/env bash
# Builds Kestrava if needed and runs kestrava-cli with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" >&2
exec "${BUILD_DIR:-$root/build}/bin/kestrava-cli" "$@"
