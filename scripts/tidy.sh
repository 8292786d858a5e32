#!/usr/bin/env bash
# clang-tidy over the product code (src/), with the checks in .clang-tidy, on the native build's
# compile commands (the Windows halves of the platform seam are not in them). Exits non-zero on any
# warning, and prints each one.
# Usage: scripts/tidy.sh [build directory, default build/native] [jobs, default the cores]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
jobs=${2:-$(nproc)}
if [[ ! -f "$build/compile_commands.json" ]]; then
    echo "no $build/compile_commands.json: configure and build that preset first" >&2
    exit 2
fi
report=$(run-clang-tidy -p "$build" -j "$jobs" -quiet "$PWD/src/" 2>&1 | sed 's/\x1b\[[0-9;]*m//g')
warnings=$(grep -E '^/.*: (warning|error): ' <<<"$report" | sort -u)
if [[ -n "$warnings" ]]; then
    grep -E -A3 '^/.*: (warning|error): ' <<<"$report"
    echo "clang-tidy: $(wc -l <<<"$warnings") warnings in src/"
    exit 1
fi
echo "clang-tidy: src/ clean"
