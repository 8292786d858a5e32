#!/usr/bin/env bash
# The main command: builds the offline cueing tool (optimised, native-release preset) and runs it.
# With no arguments it replays the built-in flight through the cue pipeline and writes the cues
# (out/offline/cues.csv), a plot (out/offline/cues.svg) and a summary; see tools/offline_cue/README.md.
# Usage: scripts/run.sh [--quiet] [offline_cue options]  (relative paths are taken from the repository root)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

quiet=0
for argument in "$@"; do
    [ "$argument" = "--quiet" ] && quiet=1
done
jobs=${TARVELMOND_JOBS:-2}

build() {
    cmake --preset native-release && cmake --build --preset native-release --target offline_cue -j "$jobs"
}

if [ "$quiet" -eq 1 ]; then
    # Only a failing build is worth showing.
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    if ! build >"$log" 2>&1; then
        cat "$log" >&2
        echo "run.sh: the build failed" >&2
        exit 1
    fi
else
    build
fi

exec build/native-release/bin/offline_cue "$@"
