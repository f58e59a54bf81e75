#!/usr/bin/env bash
# Installs every package Kestrava needs to build and test on Debian 12. Idempotent and quick
# when everything is already there. Runs apt-get through sudo when not root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev clang-format
    libcrypto++-dev libpugixml-dev
    libfuse3-dev fuse3
    libgtest-dev libgmock-dev
    libqrencode-dev zbar-tools
    # The desktop app (Qt 6 Widgets; the SVG plugins draw its icons) and its screenshots.
    qt6-base-dev libqt6svg6 qt6-svg-dev xvfb imagemagick
    # Real-mount tests (the peer benchmark installs gocryptfs and securefs itself).
    fio sqlite3 rsync
    # The Debian package (file and dpkg-shlibdeps for cpack's dependency scan) and the checks
    # of what is installed: manual pages, completions, desktop entry, metadata.
    file dpkg-dev groff-base zsh desktop-file-utils appstream
    # Program updates over HTTP(S); the HTTPS tests run a local TLS server with openssl.
    libcurl4-openssl-dev openssl
    # Remembered passwords in the desktop keyring; the session-lock and keyring tests run on a
    # private D-Bus session (dbus-run-session) with a keyring daemon of their own.
    libsecret-1-dev dbus-daemon gnome-keyring
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
