#!/usr/bin/env bash
# Compares a Kestrava drive with gocryptfs (the Debian package) on the same disk, in one run:
# sequential write and cold read of a large file, 4 KiB random reads and writes with fio, and
# creating, listing (ls -lR, cold) and deleting many small files in folders. Prints each
# figure for both (and for the plain backing disk, for scale) and the ratio Kestrava/gocryptfs,
# where above 1.0 means Kestrava is faster.
#
# Usage: bench/compare-gocryptfs.sh [--build-dir DIR] [--work-dir DIR] [--size-mib N]
#                                   [--files N] [--folders N] [--runtime SECONDS] [--runs N] [--keep]
# Each figure is the median of --runs rounds (default 3); the rounds take turns between the
# file systems, so a noisy disk or neighbour hits all of them alike.
# Needs root for cold-cache figures (it drops the page cache); without root the read and
# listing figures are warm and say so.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
work=""
size_mib=512
files=5000
folders=50
runtime=10
runs=3
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build=$2; shift 2 ;;
        --work-dir) work=$2; shift 2 ;;
        --size-mib) size_mib=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        --folders) folders=$2; shift 2 ;;
        --runtime) runtime=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
work=${work:-$build/bench-work}

"$root/scripts/install-deps.sh"
for program in gocryptfs fio fusermount3; do
    command -v "$program" > /dev/null || { echo "$program is missing" >&2; exit 1; }
done

cli="$build/bin/kestrava-cli"
if [ ! -x "$cli" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVA_BUILD_TESTS=OFF > /dev/null
fi
ninja -C "$build" -j2 kestrava-cli > /dev/null

cold=0
if [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
    cold=1
fi
drop_caches() {
    sync
    if [ $cold -eq 1 ]; then
        echo 3 > /proc/sys/vm/drop_caches
    fi
}

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\\n\", $1 }"; }
elapsed() { calc "$2 - $1"; }

# --- the two file systems over backing folders side by side --------------------------------
password="bench-Password-1"
k_mnt="$work/drives/B"
g_back="$work/gocryptfs-back"
g_mnt="$work/gocryptfs-mnt"
plain="$work/plain"
k=("$cli" --config "$work/settings.xml" --mount-root "$work/drives")

cleanup() {
    fusermount3 -u "$k_mnt" 2> /dev/null || true
    fusermount3 -u "$g_mnt" 2> /dev/null || true
    if [ $keep -eq 0 ]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT

cleanup
mkdir -p "$work/home" "$g_back" "$g_mnt" "$plain"
export HOME="$work/home"
printf '%s\n%s\n' "$password" "$password" |
    "${k[@]}" --password-stdin --yes create "$work/kestrava-back" --letter B: --label Bench > /dev/null
echo "$password" > "$work/gocryptfs.pass"
gocryptfs -q -init -passfile "$work/gocryptfs.pass" "$g_back" > /dev/null
gocryptfs -q -passfile "$work/gocryptfs.pass" "$g_back" "$g_mnt"

# --- the measurements; each prints one number -------------------------------------------
seq_write() { # MB/s
    local start end
    drop_caches
    start=$(now)
    dd if=/dev/zero of="$1/seq.bin" bs=1M count="$size_mib" conv=fsync status=none
    end=$(now)
    calc "$size_mib * 1.048576 / $(elapsed "$start" "$end")"
}

seq_read() { # MB/s, caches dropped first
    local start end
    drop_caches
    start=$(now)
    dd if="$1/seq.bin" of=/dev/null bs=1M status=none
    end=$(now)
    rm -f "$1/seq.bin"
    calc "$size_mib * 1.048576 / $(elapsed "$start" "$end")"
}

# fio's terse output: field 8 is the read IOPS, field 49 the write IOPS.
random_io() { # IOPS; $2 = randread | randwrite
    local field=8
    [ "$2" = randwrite ] && field=49
    drop_caches
    fio --name=rand --directory="$1" --filename=rand.bin --size=256m --bs=4k --rw="$2" \
        --ioengine=psync --numjobs=4 --runtime="$runtime" --time_based --group_reporting \
        --fallocate=none --output-format=terse --terse-version=3 | cut -d';' -f"$field"
}

per_folder=$((files / folders))
create_files() { # files per second
    local start end d f
    drop_caches
    start=$(now)
    mkdir "$1/small"
    for ((d = 0; d < folders; d++)); do
        mkdir "$1/small/folder$d"
        for ((f = 0; f < per_folder; f++)); do
            echo "small file $d/$f" > "$1/small/folder$d/file$f.txt"
        done
    done
    sync
    end=$(now)
    calc "$files / $(elapsed "$start" "$end")"
}

list_files() { # files per second, ls -lR with cold caches
    local start end
    drop_caches
    sleep 1.1 # past the FUSE attribute and entry timeouts of both
    start=$(now)
    ls -lR "$1/small" > /dev/null
    end=$(now)
    calc "$files / $(elapsed "$start" "$end")"
}

delete_files() { # files per second
    local start end
    drop_caches
    start=$(now)
    rm -rf "$1/small"
    end=$(now)
    calc "$files / $(elapsed "$start" "$end")"
}

names=("sequential write ${size_mib} MiB (MB/s)"
    "sequential read, cold (MB/s)"
    "4 KiB random read (IOPS)"
    "4 KiB random write (IOPS)"
    "create $files files in $folders folders (files/s)"
    "ls -lR of them, cold (files/s)"
    "delete them (files/s)")

run_suite() { # prints one figure per line
    local dir=$1
    seq_write "$dir"
    seq_read "$dir"
    random_io "$dir" randwrite > /dev/null # lays the file out
    random_io "$dir" randread
    random_io "$dir" randwrite
    rm -f "$dir/rand.bin"
    create_files "$dir"
    list_files "$dir"
    delete_files "$dir"
}

echo "Working in $work (same disk for all three); cold caches: $([ $cold -eq 1 ] && echo yes || echo 'no (not root)')"
# The median of the rounds, figure by figure: $1 = file of rounds (one line of figures each).
medians() {
    local i
    for i in "${!names[@]}"; do
        awk -v f=$((i + 1)) '{ print $f }' "$1" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
    done
}
rounds="$work/rounds"
mkdir -p "$rounds"
for ((round = 1; round <= runs; round++)); do
    for fs in kestrava gocryptfs plain; do
        echo "Round $round of $runs: $fs..." >&2
        case $fs in
            kestrava) dir=$k_mnt ;;
            gocryptfs) dir=$g_mnt ;;
            plain) dir=$plain ;;
        esac
        run_suite "$dir" | paste -sd' ' >> "$rounds/$fs"
    done
done
mapfile -t kestrava < <(medians "$rounds/kestrava")
mapfile -t gocrypt < <(medians "$rounds/gocryptfs")
mapfile -t plainfs < <(medians "$rounds/plain")

echo "Medians of $runs rounds; Kestrava serving threads: ${KESTRAVA_FUSE_THREADS:-default}"
printf '\n%-44s %12s %12s %12s %9s\n' "figure" "Kestrava" "gocryptfs" "plain disk" "K/g"
missed=0
for i in "${!names[@]}"; do
    ratio=$(calc "${kestrava[$i]} / ${gocrypt[$i]}")
    printf '%-44s %12.1f %12.1f %12.1f %9.2f\n' "${names[$i]}" "${kestrava[$i]}" "${gocrypt[$i]}" \
        "${plainfs[$i]}" "$ratio"
    if [ "$(calc "$ratio < 1.0")" != "0.000000" ]; then
        missed=$((missed + 1))
    fi
done
echo
echo "Ratios below 1.00 (target: none): $missed"
