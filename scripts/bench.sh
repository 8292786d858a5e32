#!/usr/bin/env bash
# Runs every benchmark of the optimised build. Extra arguments go to each benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build/native-release/bench ] || { cmake --preset native-release >/dev/null && cmake --build --preset native-release; }
status=0
for program in build/native-release/bench/*; do
    [ -x "$program" ] || continue
    echo "---- $(basename "$program")"
    "$program" "$@" || status=1
done
exit $status
