#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 20). Fails on any crash or sanitizer report.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRAVA_BUILD_FUZZERS=ON -DKESTRAVA_BUILD_TESTS=OFF -DKESTRAVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target kestrava_fuzzers

for target in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds="$root/tests/fuzz/corpus/${name#fuzz_}"
    echo "fuzzing $name for ${seconds}s"
    if [ -d "$seeds" ]; then
        "$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 "$corpus" "$seeds" 2>"$build/$name.log" \
            || { tail -n 40 "$build/$name.log"; echo "fuzz target $name failed"; exit 1; }
    else
        "$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 "$corpus" 2>"$build/$name.log" \
            || { tail -n 40 "$build/$name.log"; echo "fuzz target $name failed"; exit 1; }
    fi
    tail -n 1 "$build/$name.log"
done
