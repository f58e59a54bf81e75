#!/usr/bin/env bash
# Counts the FUSE requests a Kestrava drive receives per file for everyday operations, by
# tracing the serving process's reads of /dev/fuse with strace and decoding each request's
# operation code. Request counts do not depend on how busy the machine is, so they compare
# two builds where timings cannot.
#
# Usage: bench/request-counts.sh [--cli PATH] [--files N] [--work-dir DIR]
# Needs strace; run as root for the cold-cache reads.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/kestrava-cli"
files=200
work=""
while [ $# -gt 0 ]; do
    case "$1" in
        --cli) cli=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        --work-dir) work=$2; shift 2 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
command -v strace > /dev/null || { echo "strace is missing" >&2; exit 1; }
work=${work:-$(mktemp -d)}
mnt="$work/drives/R"
password="count-Password-1"
k=("$cli" --config "$work/settings.xml" --mount-root "$work/drives")
export HOME="$work/home"
mkdir -p "$HOME"

cleanup() {
    fusermount3 -u "$mnt" 2> /dev/null || true
    if [ -n "${tracer:-}" ]; then wait "$tracer" 2> /dev/null || true; fi
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

printf '%s\n%s\n' "$password" "$password" |
    "${k[@]}" --password-stdin --yes create "$work/back" --letter R: --label Count > /dev/null
"${k[@]}" unmount R: > /dev/null
# The serving process runs under strace from its start (attaching later may be refused).
log="$work/trace"
printf '%s\n' "$password" |
    strace -f -qq -xx -s 8 -y -e trace=read -o "$log" "${k[@]}" --password-stdin mount R: --foreground \
        > /dev/null 2>&1 &
tracer=$!
for _ in $(seq 1 300); do
    grep -q " $mnt fuse" /proc/self/mounts && break
    sleep 0.1
done

# Operation codes of the FUSE protocol (include/uapi/linux/fuse.h).
names="1 lookup 2 forget 3 getattr 4 setattr 5 readlink 6 symlink 8 mknod 9 mkdir 10 unlink 11 rmdir
12 rename 13 link 14 open 15 read 16 write 17 statfs 18 release 20 fsync 21 setxattr 22 getxattr
23 listxattr 24 removexattr 25 flush 27 opendir 28 readdir 29 releasedir 34 access 35 create
36 interrupt 42 batch_forget 43 fallocate 44 readdirplus 45 rename2 46 lseek 47 copy_file_range"

# Runs a shell command on the drive; prints the requests it caused per file, by operation.
count() { # $1 = label, $2 = command
    local before
    sleep 0.5
    before=$(wc -l < "$log")
    (cd "$mnt" && eval "$2") > /dev/null || echo "$1: the command failed" >&2
    sleep 0.5
    tail -n +"$((before + 1))" "$log" | awk -v label="$1" -v files="$files" -v names="$names" '
        BEGIN { n = split(names, w, /[ \n]+/); for (i = 1; i < n; i += 2) name[w[i]] = w[i + 1] }
        function hexval(s) { return index("0123456789abcdef", substr(s, 1, 1)) * 16 + index("0123456789abcdef", substr(s, 2, 1)) - 17 }
        # A read of /dev/fuse (its name hex-escaped), whole or resumed after another thread wrote.
        /\\x2f\\x64\\x65\\x76\\x2f\\x66\\x75\\x73\\x65>, "|<\.\.\. read resumed>"/ {
            if (!match($0, /"(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])(\\x[0-9a-f][0-9a-f])/)) next
            hex = substr($0, RSTART + 1, RLENGTH - 1)
            op = 0
            for (b = 8; b >= 5; b--) op = op * 256 + hexval(substr(hex, (b - 1) * 4 + 3, 2))
            count[op]++; total++
        }
        END {
            line = ""
            for (op in count) line = line sprintf(" %s %.2f", (op in name) ? name[op] : "op" op, count[op] / files)
            printf "%-32s %6.2f per file:%s\n", label, total / files, line
        }'
}

mkdir -p "$mnt/d"
count "create (echo x > f)" 'for ((i = 0; i < '"$files"'; i++)); do echo x > d/f$i; done'
sleep 1.2
count "ls -l, entries not cached" 'ls -l d'
count "ls -l again at once" 'ls -l d'
count "stat, entries not cached" 'sleep 1.2; stat d/* > /dev/null'
count "4 KiB writes (files = writes)" 'dd if=/dev/zero of=big bs=4k count='"$files"' conv=notrunc status=none'
count "4 KiB reads (files = reads)" 'echo 3 > /proc/sys/vm/drop_caches 2> /dev/null || true; dd if=big of=/dev/null bs=4k iflag=direct status=none'
dd if=/dev/zero of="$mnt/one.bin" bs=1M count=16 status=none
count "cp of a 16 MiB file (files = copies)" 'for ((i = 0; i < '"$files"'; i++)); do cp one.bin copy.bin; done'
if command -v fio > /dev/null; then
    count "4 KiB random reads and writes, read-write handle (files = operations)" 'fio --name=r --filename=one.bin --size=16m --bs=4k --rw=randrw --ioengine=psync --number_ios='"$files"' --output-format=terse'
fi
rm -f "$mnt/one.bin" "$mnt/copy.bin"
count "rm -rf" 'rm -rf d'
