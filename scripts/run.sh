#!/usr/bin/env bash
# Builds Kestrava if needed, then runs kestrava-cli with the given arguments. Without
# arguments it starts the desktop app when there is a display to show it on, and prints
# kestrava-cli's help otherwise.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" >&2
bin="${BUILD_DIR:-$root/build}/bin"
if [[ $# -eq 0 ]]; then
    if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
        if [[ -x "$bin/kestrava" ]]; then
            exec "$bin/kestrava"
        fi
        echo "run.sh: the desktop app was not built (it needs Qt 6); showing kestrava-cli's help" >&2
    fi
    exec "$bin/kestrava-cli" --help
fi
exec "$bin/kestrava-cli" "$@"
