#!/usr/bin/env bash
# Renders every window of the desktop app to docs/screenshots/*.png without a display (Qt's
# offscreen platform), over sample rows in a sandboxed home: nothing of the user's settings
# is read or written.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$root/docs/screenshots"

ninja -C "$build" kestrava_screenshots >/dev/null
sandbox="$(mktemp -d)"
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$out"
HOME="$sandbox" XDG_CONFIG_HOME="$sandbox/config" XDG_STATE_HOME="$sandbox/state" \
    XDG_RUNTIME_DIR="$sandbox" QT_QPA_PLATFORM=offscreen \
    "$build/tests/gui/kestrava_screenshots" "$out"
