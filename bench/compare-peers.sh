#!/usr/bin/env bash
# Compares a Kestrava drive with its peers gocryptfs and securefs (the Debian packages,
# installed here when missing) on the same disk, in one run: sequential write and cold read of
# a large file, 4 KiB random reads and writes with fio, and creating, listing (ls -lR, cold)
# and deleting many small files in folders. Prints each figure's median for every file system
# (and the plain backing disk, for scale) and the ratio of Kestrava to the faster peer, where
# above 1.0 means Kestrava is faster.
#
# Usage: bench/compare-peers.sh [--build-dir DIR | --cli PATH] [--work-dir DIR] [--runs N]
#                               [--size-mib N] [--files N] [--folders N] [--runtime SECONDS]
#                               [--format FMT] [--keep]
# --format is passed to `kestrava-cli create --format`. The rounds take turns between the file
# systems, each round starting with another, so a noisy disk or neighbour hits all alike.
# Needs root for cold caches (it drops the page cache) and to install the peers.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cli=""
work=""
runs=3
size_mib=256
files=2000
folders=20
runtime=10
format=""
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build=$2; shift 2 ;;
        --cli) cli=$2; shift 2 ;;
        --work-dir) work=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --size-mib) size_mib=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        --folders) folders=$2; shift 2 ;;
        --runtime) runtime=$2; shift 2 ;;
        --format) format=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
work=${work:-$build/bench-work}

missing=()
for program in gocryptfs securefs fio fusermount3; do
    command -v "$program" > /dev/null || missing+=("$program")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing: ${missing[*]} (run as root to install them, or install them yourself)" >&2
        exit 1
    fi
    packages=("${missing[@]/fusermount3/fuse3}")
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${packages[@]}" > /dev/null
fi

if [ -z "$cli" ]; then
    cli="$build/bin/kestrava-cli"
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVA_BUILD_TESTS=OFF > /dev/null
    fi
    ninja -C "$build" -j2 kestrava-cli > /dev/null
fi

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

# --- the file systems over backing folders side by side -----------------------------------
password="bench-Password-1"
k_mnt="$work/drives/B"
g_back="$work/gocryptfs-back"
g_mnt="$work/gocryptfs-mnt"
s_back="$work/securefs-back"
s_mnt="$work/securefs-mnt"
plain="$work/plain"
k=("$cli" --config "$work/settings.xml" --mount-root "$work/drives")

cleanup() {
    local mnt
    for mnt in "$k_mnt" "$g_mnt" "$s_mnt"; do
        fusermount3 -u "$mnt" 2> /dev/null || true
    done
    if [ $keep -eq 0 ]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT

cleanup
mkdir -p "$work/home" "$g_back" "$g_mnt" "$s_back" "$s_mnt" "$plain"
export HOME="$work/home"
create_args=(--password-stdin --yes create "$work/kestrava-back" --letter B: --label Bench)
if [ -n "$format" ]; then
    create_args+=(--format "$format")
fi
printf '%s\n%s\n' "$password" "$password" | "${k[@]}" "${create_args[@]}" > /dev/null
echo "$password" > "$work/gocryptfs.pass"
gocryptfs -q -init -passfile "$work/gocryptfs.pass" "$g_back" > /dev/null
gocryptfs -q -nosyslog -passfile "$work/gocryptfs.pass" "$g_back" "$g_mnt"
securefs create --pass "$password" "$s_back" > /dev/null
securefs mount -b --pass "$password" --log "$work/securefs.log" "$s_back" "$s_mnt" > /dev/null
for _ in $(seq 1 100); do
    grep -q " $s_mnt fuse" /proc/self/mounts && break
    sleep 0.1
done

# --- the measurements; each prints one number ---------------------------------------------
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

# fio's terse output: field 8 is the read IOPS, field 49 the write IOPS; their sum.
random_io() { # IOPS
    drop_caches
    fio --name=rand --directory="$1" --filename=rand.bin --size=256m --bs=4k --rw=randrw \
        --ioengine=psync --numjobs=4 --runtime="$runtime" --time_based --group_reporting \
        --fallocate=none --output-format=terse --terse-version=3 | awk -F';' '{ print $8 + $49 }'
    rm -f "$1/rand.bin"
}

per_folder=$((files / folders))
kib=$(head -c 1024 /dev/zero | tr '\0' 'k')
create_files() { # files per second
    local start end d f
    drop_caches
    start=$(now)
    mkdir "$1/small"
    for ((d = 0; d < folders; d++)); do
        mkdir "$1/small/folder$d"
        for ((f = 0; f < per_folder; f++)); do
            printf '%s' "$kib" > "$1/small/folder$d/file$f.txt"
        done
    done
    sync
    end=$(now)
    calc "$files / $(elapsed "$start" "$end")"
}

list_files() { # files per second, ls -lR with cold caches
    local start end
    drop_caches
    sleep 1.1 # past the FUSE attribute and entry timeouts of all
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
    "fio 4 KiB random read/write, 4 jobs (IOPS)"
    "create $files files of 1 KiB in $folders folders (files/s)"
    "ls -lR of them, cold (files/s)"
    "delete them (files/s)")

run_suite() { # prints one figure per line
    seq_write "$1"
    seq_read "$1"
    random_io "$1"
    create_files "$1"
    list_files "$1"
    delete_files "$1"
}

echo "Working in $work (same disk for all); cold caches: $([ $cold -eq 1 ] && echo yes || echo 'no (not root)')"
# The median of the rounds, figure by figure: $1 = file of rounds (one line of figures each).
medians() {
    local i
    for i in "${!names[@]}"; do
        awk -v f=$((i + 1)) '{ print $f }' "$1" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
    done
}
systems=(kestrava gocryptfs securefs plain)
rounds="$work/rounds"
mkdir -p "$rounds"
for ((round = 0; round < runs; round++)); do
    for ((i = 0; i < ${#systems[@]}; i++)); do
        fs=${systems[$(((round + i) % ${#systems[@]}))]}
        echo "Round $((round + 1)) of $runs: $fs..." >&2
        case $fs in
            kestrava) dir=$k_mnt ;;
            gocryptfs) dir=$g_mnt ;;
            securefs) dir=$s_mnt ;;
            plain) dir=$plain ;;
        esac
        run_suite "$dir" | paste -sd' ' >> "$rounds/$fs"
    done
done
mapfile -t kestrava < <(medians "$rounds/kestrava")
mapfile -t gocrypt < <(medians "$rounds/gocryptfs")
mapfile -t secure < <(medians "$rounds/securefs")
mapfile -t plainfs < <(medians "$rounds/plain")

echo "Medians of $runs rounds${format:+; Kestrava drive format: $format}"
printf '\n| %-56s | %10s | %10s | %10s | %10s | %5s | %-11s |\n' "figure" "Kestrava" "gocryptfs" "securefs" \
    "plain disk" "ratio" "faster peer"
below=0
for i in "${!names[@]}"; do
    peer=gocryptfs
    best=${gocrypt[$i]}
    if [ "$(calc "(${secure[$i]} > ${gocrypt[$i]})")" != "0.000000" ]; then
        peer=securefs
        best=${secure[$i]}
    fi
    ratio=$(calc "${kestrava[$i]} / $best")
    printf '| %-56s | %10.1f | %10.1f | %10.1f | %10.1f | %5.2f | %-11s |\n' "${names[$i]}" "${kestrava[$i]}" \
        "${gocrypt[$i]}" "${secure[$i]}" "${plainfs[$i]}" "$ratio" "$peer"
    if [ "$(calc "($ratio < 1.5)")" != "0.000000" ]; then
        below=$((below + 1))
    fi
done
echo
echo "Ratios below 1.50 (ratio = Kestrava / faster peer): $below of ${#names[@]}"
