#!/usr/bin/env bash
# Resident memory of a drive's serving process over a long run of creating and deleting small
# files: it must stay flat. Creates and deletes --files files (default 100,000) in batches
# and prints the server's resident size after each batch, then the peak.
#
# Usage: bench/memory-churn.sh [--cli PATH] [--files N] [--batch N] [--work-dir DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/kestrava-cli"
files=100000
batch=10000
work=""
while [ $# -gt 0 ]; do
    case "$1" in
        --cli) cli=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        --batch) batch=$2; shift 2 ;;
        --work-dir) work=$2; shift 2 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
work=${work:-$(mktemp -d)}
mnt="$work/drives/M"
password="churn-Password-1"
k=("$cli" --config "$work/settings.xml" --mount-root "$work/drives")
export HOME="$work/home"
mkdir -p "$HOME"
cleanup() {
    fusermount3 -u "$mnt" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

printf '%s\n%s\n' "$password" "$password" |
    "${k[@]}" --password-stdin --yes create "$work/back" --letter M: --label Churn > /dev/null
server=$(pgrep -f -- "--mount-point=$mnt" | head -n 1)
resident() { awk '/^VmRSS:/ { print $2 }' "/proc/$server/status"; } # KiB

peak=$(resident)
echo "files done   resident (KiB)"
printf '%10d   %14d\n' 0 "$peak"
for ((done = 0; done < files; done += batch)); do
    mkdir "$mnt/churn"
    for ((i = 0; i < batch; i++)); do
        printf 'x' > "$mnt/churn/file$i"
    done
    ls -l "$mnt/churn" > /dev/null
    rm -rf "$mnt/churn"
    now=$(resident)
    peak=$((now > peak ? now : peak))
    printf '%10d   %14d\n' $((done + batch)) "$now"
done
echo "peak: $peak KiB"
