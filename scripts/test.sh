#!/usr/bin/env bash
# Builds everything and runs every test: native (Debug), ASan+UBSan, ThreadSanitizer, the Windows DLL
# under Wine, the fuzz targets (short runs), the optimised build with benchmarks, the main job (the live
# rig, under Wine and natively) and the offline replay.
# Exits non-zero if anything fails. Usage: scripts/test.sh [preset ...]
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

jobs=${TARVELMOND_JOBS:-$(nproc)}
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native native-asan native-tsan win64 fuzz native-release)
failures=()

stage() {  # stage <name> <command...>
    local name=$1
    shift
    echo "==== $name"
    local start=$SECONDS
    if "$@"; then
        echo "==== $name: passed ($((SECONDS - start)) s)"
    else
        echo "==== $name: FAILED ($((SECONDS - start)) s)"
        failures+=("$name")
    fi
}

build() {
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

# The source folders' floors (also a ctest test of the Linux presets), once per run.
stage "include layers" python3 scripts/check_layers.py

for preset in "${presets[@]}"; do
    stage "build $preset" build "$preset" || continue
    case "$preset" in
        native)
            stage "clang-tidy (src)" scripts/tidy.sh build/native "$jobs"
            stage "test $preset" ctest --preset "$preset" -j "$jobs"
            ;;
        win64)
            source scripts/wine-env.sh
            wine_start
            stage "test $preset" ctest --preset "$preset" -j "$jobs"
            wine_stop
            ;;
        native-release)
            stage "benchmarks (smoke)" scripts/bench.sh --benchmark_min_time=0.01
            stage "main job (live rig, Windows DLL under Wine)" scripts/run.sh --quiet
            stage "live rig (Linux library)" scripts/run.sh --native --quiet
            stage "live rig (network controller)" scripts/run.sh --native --link udp --quiet
            stage "live rig (recorded DiRT Rally 2.0 stage)" scripts/run.sh --native --replay dirt-rally-2 --seconds 30 --quiet
            stage "offline replay" scripts/run.sh --offline --quiet
            ;;
        native-asan)
            # Memory faults show in what the programs compute, not in how long they wait: the programs
            # that mostly wait on the rig's clock (label rig_time) run in the native and Windows stages.
            stage "test $preset" ctest --preset "$preset" -j "$jobs" -LE rig_time
            ;;
        native-tsan)
            # Some kernels randomise mmap too widely for ThreadSanitizer's fixed shadow layout. Every
            # program that runs the library's threads runs here; the host program's sessions (minutes of
            # waiting on a separate process's clock) run in the native and Windows stages.
            stage "test $preset" setarch "$(uname -m)" -R ctest --preset "$preset" -j "$jobs" -E '^host_tests$'
            ;;
        *)
            stage "test $preset" ctest --preset "$preset" -j "$jobs"
            ;;
    esac
done

echo
if [ ${#failures[@]} -eq 0 ]; then
    echo "ALL PASSED: ${presets[*]}"
    exit 0
fi
echo "FAILED: ${failures[*]}"
exit 1
