#!/usr/bin/env bash
# Installs the build (prefix /usr) into a scratch folder and checks the installed files: the
# exact file list, the icon sizes, the manual pages' headers, the desktop and metadata files
# (with their validators when installed), the version in the metadata and the changelog, and
# that the user service's command lines are accepted by the installed kestrava-cli.
# Usage: install_layout.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build="$1" source="$2" version="$3"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 \
    || { cat "$scratch/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }
usr="$scratch/root/usr"

# 1. Exactly these files, nothing else (no kestrava-sign, no build tools, nothing outside /usr).
icon_sizes=(16 22 24 32 48 64 128 256)
expected=(
    usr/bin/kestrava usr/bin/kestrava-cli
    usr/lib/systemd/user/kestrava-automount.service
    usr/share/applications/kestrava.desktop
    usr/share/metainfo/com.harbrook.kestrava.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/kestrava.svg
    usr/share/man/man1/kestrava.1.gz usr/share/man/man1/kestrava-cli.1.gz
    usr/share/bash-completion/completions/kestrava-cli
    usr/share/zsh/vendor-completions/_kestrava-cli
    usr/share/doc/kestrava/copyright usr/share/doc/kestrava/changelog.gz
)
for size in "${icon_sizes[@]}"; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/kestrava.png")
done
for pack in "$source"/lang/lang_*.lang; do
    [ -e "$pack" ] && expected+=("usr/share/kestrava/lang/$(basename "$pack")")
done
printf '%s\n' "${expected[@]}" | LC_ALL=C sort >"$scratch/expected"
(cd "$scratch/root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$scratch/actual"
if ! diff -u "$scratch/expected" "$scratch/actual" >"$scratch/diff"; then
    fail "installed files differ from the expected list:"
    cat "$scratch/diff" >&2
fi
for program in kestrava kestrava-cli; do
    [ -x "$usr/bin/$program" ] || fail "$program is not executable"
done

# 2. PNG icons: real PNG files of their folder's size.
for size in "${icon_sizes[@]}"; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/kestrava.png"
    [ -f "$png" ] || continue
    read -r -a bytes <<<"$(od -An -tu1 -N24 "$png" | tr '\n' ' ')"
    signature="${bytes[*]:0:8}"
    [ "$signature" = "137 80 78 71 13 10 26 10" ] || fail "$png is not a PNG file ($signature)"
    width=$(((bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19]))
    height=$(((bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23]))
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x${height}, not ${size}x${size}"
done

# 3. Manual pages: compressed, with the right header.
man_header() { gzip -dc "$1" | grep -m1 '^\.TH ' || true; }
[ "$(man_header "$usr/share/man/man1/kestrava-cli.1.gz")" = ".TH KESTRAVA\\-CLI 1 \"\" \"Kestrava $version\" \"User Commands\"" ] \
    || fail "kestrava-cli.1 header: $(man_header "$usr/share/man/man1/kestrava-cli.1.gz")"
[ "$(man_header "$usr/share/man/man1/kestrava.1.gz")" = '.TH KESTRAVA 1 "" "Kestrava" "User Commands"' ] \
    || fail "kestrava.1 header: $(man_header "$usr/share/man/man1/kestrava.1.gz")"

# 4. Desktop entry and metadata: the ids that tie them together, the version, the validators.
desktop="$usr/share/applications/kestrava.desktop"
metainfo="$usr/share/metainfo/com.harbrook.kestrava.metainfo.xml"
grep -qx 'Exec=kestrava' "$desktop" || fail "the desktop entry does not start kestrava"
grep -qx 'Icon=kestrava' "$desktop" || fail "the desktop entry names another icon"
grep -q '<launchable type="desktop-id">kestrava.desktop</launchable>' "$metainfo" \
    || fail "the metadata does not name kestrava.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metadata has no release $version"
gzip -dc "$usr/share/doc/kestrava/changelog.gz" | head -n1 | grep -q "^kestrava ($version) " \
    || fail "the changelog's last entry is not $version"
if command -v desktop-file-validate >/dev/null; then
    out="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    echo "skipped: desktop-file-validate is not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/appstream" 2>&1 \
        || { cat "$scratch/appstream" >&2; fail "appstreamcli validate"; }
else
    echo "skipped: appstreamcli is not installed (appstream)"
fi

# 5. The user service runs the installed kestrava-cli with command lines it accepts. The copy
# in the scratch folder stands in for /usr/bin/kestrava-cli (being outside /usr it keeps its
# settings and log beside itself, in the scratch folder); with no drive both succeed.
unit="$usr/lib/systemd/user/kestrava-automount.service"
start="$(sed -n 's/^ExecStart=//p' "$unit")"
stop="$(sed -n 's/^ExecStop=//p' "$unit")"
[ "$start" = "/usr/bin/kestrava-cli mount --all --no-prompt" ] || fail "ExecStart=$start"
[ "$stop" = "/usr/bin/kestrava-cli unmount --all" ] || fail "ExecStop=$stop"
mkdir -p "$scratch/home"
for line in "$start" "$stop"; do
    read -r -a argv <<<"$line"
    argv[0]="$scratch/root${argv[0]}"
    if ! out="$(HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" \
        XDG_STATE_HOME="$scratch/home/.state" KESTRAVA_MOUNT_ROOT="$scratch/drives" \
        "${argv[@]}" </dev/null 2>&1)"; then
        fail "'$line' failed with the installed program: $out"
    fi
done

if [ "$failures" -ne 0 ]; then
    echo "install_layout: $failures check(s) failed" >&2
    exit 1
fi
echo "install_layout: ${#expected[@]} files installed as expected"
