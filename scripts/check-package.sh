#!/usr/bin/env bash
# Checks the package scripts/package.sh built, on this machine: installs it with apt-get, runs
# the installed kestrava-cli (where; create, write, unmount and mount a drive; the user
# service's two commands), removes it with --purge and checks that nothing of it is left in
# /usr. Changes the system: meant for CI's fresh machine. Needs root (or sudo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

step() { echo "== check-package: $*"; }
die() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}
installed() { dpkg-query -W -f='${Status}' kestrava 2>/dev/null | grep -q "install ok installed"; }

debs=("$build"/package/kestrava_*.deb)
[ -f "${debs[0]}" ] || die "no package in $build/package (run scripts/package.sh first)"
[ "${#debs[@]}" -eq 1 ] || die "more than one package in $build/package"
installed && die "kestrava is installed already; this check would replace and then remove it"

work="$(mktemp -d)"
chmod 755 "$work" # apt reads the package as its own user
cp "${debs[0]}" "$work/"
deb="$work/$(basename "${debs[0]}")"
chmod 644 "$deb"
mnt="$work/drives/K"
cleanup() {
    if grep -q " $mnt fuse" /proc/self/mounts 2>/dev/null; then
        fusermount3 -u "$mnt" 2>/dev/null || fusermount3 -uz "$mnt" 2>/dev/null || true
    fi
    if installed; then
        $sudo apt-get remove --purge -y -qq kestrava >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

step "contents of $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends
outside="$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v -e '^\./$' -e '^\./usr/' || true)"
[ -z "$outside" ] || die "files outside /usr: $outside"

step "apt-get install ./$(basename "$deb")"
(cd "$work" && $sudo apt-get install -y -qq "./$(basename "$deb")") || die "apt-get install"
installed || die "the package is not installed after apt-get install"
dpkg-query -L kestrava >"$work/files.txt"

cli="$(command -v kestrava-cli)" || die "kestrava-cli is not on the PATH"
[ "$cli" = /usr/bin/kestrava-cli ] || die "kestrava-cli found at $cli, not /usr/bin"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.local/state"
export XDG_RUNTIME_DIR="$work/runtime" KESTRAVA_MOUNT_ROOT="$work/drives"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

step "kestrava-cli where"
where="$(kestrava-cli where 2>&1)" || die "kestrava-cli where: $where"
echo "$where"
for line in "mode: installed" "settings: $XDG_CONFIG_HOME/kestrava/kestrava_settings.xml" \
    "log: $XDG_STATE_HOME/kestrava/kestrava.log" "languages: /usr/share/kestrava/lang"; do
    grep -qxF "$line" <<<"$where" || die "where does not say '$line'"
done
kestrava-cli --version

fuse_usable() {
    [ -c /dev/fuse ] && (: <>/dev/fuse) 2>/dev/null && command -v fusermount3 >/dev/null
}
mounted() { grep -q " $mnt fuse" /proc/self/mounts; }
password="check-package password 1"
backing="$work/backing"
if fuse_usable; then
    step "create, write, unmount and mount a drive"
    printf '%s\n%s\n' "$password" "$password" |
        kestrava-cli --password-stdin --yes create "$backing" --letter K: --label Check --remember on \
            --automount on || die "create"
    mounted || die "the new drive is not mounted at $mnt"
    text="written through the installed program"
    echo "$text" >"$mnt/note.txt"
    kestrava-cli unmount K: || die "unmount"
    mounted && die "the drive is still mounted after unmount"
    grep -rqF "$text" "$backing" && die "the backing folder holds the text in plain form"
    printf '%s\n' "$password" | kestrava-cli --password-stdin mount K: || die "mount"
    [ "$(cat "$mnt/note.txt")" = "$text" ] || die "the file read back differs"
    kestrava-cli unmount K: || die "unmount"

    step "the user service's commands"
    unit=/usr/lib/systemd/user/kestrava-automount.service
    start="$(sed -n 's/^ExecStart=//p' "$unit")"
    stop="$(sed -n 's/^ExecStop=//p' "$unit")"
    echo "ExecStart: $start"
    $start </dev/null || die "ExecStart failed"
    mounted || die "ExecStart did not mount the drive with the remembered password"
    [ "$(cat "$mnt/note.txt")" = "$text" ] || die "the file read back after ExecStart differs"
    echo "ExecStop: $stop"
    $stop </dev/null || die "ExecStop failed"
    mounted && die "ExecStop left the drive mounted"
else
    echo "SKIPPED: FUSE is unusable here (/dev/fuse cannot be opened or fusermount3 is missing):"
    echo "         the drive is created without mounting; mounting and the service's commands are not checked"
    printf '%s\n%s\n' "$password" "$password" |
        kestrava-cli --password-stdin --yes create "$backing" --letter K: --no-mount || die "create --no-mount"
    kestrava-cli list
fi

step "apt-get remove --purge kestrava"
$sudo apt-get remove --purge -y -qq kestrava || die "apt-get remove --purge"
installed && die "the package is still installed"
left=()
while read -r path; do
    [ "$path" = "/." ] && continue
    if [ -f "$path" ] || [ -L "$path" ]; then
        left+=("$path")
    fi
done <"$work/files.txt"
while read -r path; do
    left+=("$path")
done < <(find /usr \( -path "$root" -o -path "$build" \) -prune -o -name '*kestrava*' -print 2>/dev/null)
[ "${#left[@]}" -eq 0 ] || die "left in /usr after removal: ${left[*]}"
step "passed"
