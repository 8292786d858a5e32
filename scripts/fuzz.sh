#!/usr/bin/env bash
# Fuzzing for longer: runs every libFuzzer target (tests/fuzz/*_fuzz.cpp) for N minutes each, one after
# the other, starting from the corpus kept in the repository (tests/fuzz/corpus/<target>), then
# minimises that corpus with what the run found (libFuzzer's -merge=1) and writes it back. Prints, per
# target, the executions, the coverage (cov: edges, ft: features) and the findings (crashes, leaks,
# time-outs, each saved under build/fuzz/campaign/<target>/findings). Exits non-zero on any finding.
#
# Usage: scripts/fuzz.sh [minutes per target, default 10] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
[ $# -gt 0 ] && shift
scripts/setup.sh

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${TARVELMOND_JOBS:-2}" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/*_fuzz.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

campaign=build/fuzz/campaign
printf '%-30s %14s %8s %8s %9s %7s\n' target executions cov ft corpus findings
total_findings=0
for target in "${targets[@]}"; do
    program=build/fuzz/fuzz/$target
    kept=tests/fuzz/corpus/$target
    run=$campaign/$target
    rm -rf "$run"
    mkdir -p "$run/new" "$run/findings" "$run/merged" "$kept"
    # New inputs go to the run's own directory; the kept corpus is read as the starting point.
    "$program" -max_total_time=$((minutes * 60)) -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$run/findings/" "$run/new" "$kept" >"$run/fuzz.log" 2>&1 || true
    executions=$(awk '/stat::number_of_executed_units/ {print $2}' "$run/fuzz.log" | tail -1)
    coverage=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$run/fuzz.log" | tail -1)
    cov=$(echo "$coverage" | awk '{print $2}')
    ft=$(echo "$coverage" | awk '{print $4}')
    findings=$(find "$run/findings" -type f | wc -l)
    total_findings=$((total_findings + findings))
    # The smallest set of inputs that keeps all the coverage of both, written back to the repository.
    "$program" -merge=1 "$run/merged" "$kept" "$run/new" >"$run/merge.log" 2>&1 || true
    if [ -n "$(ls -A "$run/merged")" ]; then
        find "$kept" -type f -delete
        cp "$run/merged"/* "$kept"/
    fi
    printf '%-30s %14s %8s %8s %9s %7s\n' "$target" "${executions:-?}" "${cov:-?}" "${ft:-?}" \
        "$(find "$kept" -type f | wc -l)" "$findings"
done
echo
if [ "$total_findings" -gt 0 ]; then
    echo "FINDINGS: $total_findings (under $campaign/<target>/findings)"
    exit 1
fi
echo "no findings ($minutes min per target)"
