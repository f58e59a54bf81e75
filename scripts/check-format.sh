#!/usr/bin/env bash
# Fails when a C++ source or header differs from what clang-format (.clang-format) makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror $files; then
    echo "Formatting differs: run clang-format -i on the files above." >&2
    exit 1
fi
echo "clang-format: all sources formatted"
