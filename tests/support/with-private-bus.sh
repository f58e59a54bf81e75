#!/usr/bin/env bash
# Runs a test program on a D-Bus session bus of its own (dbus-run-session), with HOME and the
# XDG folders in a scratch folder; with --keyring a keyring daemon with an unlocked keyring
# serves secrets on that bus. What cannot be set up is passed on to the test, which then skips
# and says why: KESTRAVA_NO_PRIVATE_BUS or KESTRAVA_NO_KEYRING holds the reason.
#   with-private-bus.sh [--keyring] PROGRAM [ARGS...]
set -uo pipefail

keyring=0
if [ "${1:-}" = "--keyring" ]; then
    keyring=1
    shift
fi
if ! command -v dbus-run-session > /dev/null; then
    KESTRAVA_NO_PRIVATE_BUS="dbus-run-session is not installed" exec "$@"
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_DATA_HOME="$scratch/data" \
    XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

inner='
keyring="$1"; shift
daemon=""
if [ "$keyring" = 1 ]; then
    if ! command -v gnome-keyring-daemon > /dev/null; then
        export KESTRAVA_NO_KEYRING="gnome-keyring-daemon is not installed"
    else
        printf "test-keyring\n" | gnome-keyring-daemon --foreground --unlock --components=secrets \
            > "$XDG_RUNTIME_DIR/keyring.log" 2>&1 &
        daemon=$!
        ready=0
        for _ in $(seq 1 300); do
            if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2> /dev/null |
                grep -q "boolean true"; then
                ready=1
                break
            fi
            kill -0 "$daemon" 2> /dev/null || break
            sleep 0.1
        done
        if [ "$ready" != 1 ]; then
            export KESTRAVA_NO_KEYRING="the keyring daemon did not start: $(tr "\n" " " < "$XDG_RUNTIME_DIR/keyring.log")"
        fi
    fi
fi
"$@"
status=$?
if [ -n "$daemon" ]; then
    kill "$daemon" 2> /dev/null
    wait "$daemon" 2> /dev/null
fi
exit $status
'
dbus-run-session -- bash -c "$inner" bash "$keyring" "$@" 2> >(grep -v "Failed to set fd limit" >&2)
