#!/usr/bin/env bash
# The main command: the live rig. Builds the library and the live_rig program and runs the whole chain
# on built-in data: the game emulator plays a flight as X-Plane, the library detects it, its automatic
# scan finds a virtual motion controller and the library drives it; a status line while it runs, then a
# summary, a plot of the six axes as the controller received them (out/live/rig_axes.svg) and every
# received frame (out/live/received_frames.csv). See tools/live_rig/README.md.
#
# Usage: scripts/run.sh [--native] [--quiet] [live_rig options]
#   (default) the Windows DLL, cross-built, driven by live_rig.exe under Wine
#   --native  the Linux library (libtarvelmond.so), optimised build
#   --quiet   one closing line instead of the status line and the summary
#   --game msfs2024  the flight as MSFS2024 sends it, through the fake flight simulator's client protocol
#   --replay dirt-rally-2 [--seconds N]  the recorded DiRT Rally 2.0 stage (../shared/captures) as the
#                    game sent it, instead of the flight (the first N seconds)
#   --link udp       the controller on the network (the listen loop and the multicast sender) instead of
#                    the serial port; the Linux library, in a private network made for the run (root)
#        scripts/run.sh --offline [--quiet] [offline_cue options]
#   the offline replay of recorded telemetry through the cue pipeline (tools/offline_cue/README.md)
# Relative paths are taken from the repository root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

mode=wine
quiet=0
link=serial
arguments=()
previous=
for argument in "$@"; do
    [ "$previous" = --link ] && link=$argument
    previous=$argument
    case "$argument" in
        --native) mode=native ;;
        --offline) mode=offline ;;
        --quiet)
            quiet=1
            arguments+=("$argument")
            ;;
        *) arguments+=("$argument") ;;
    esac
done
if [ "$mode" = wine ] && ! command -v wine >/dev/null 2>&1; then
    echo "run.sh: Wine is not available; running the Linux library instead" >&2
    mode=native
fi
if [ "$link" = udp ] && [ "$mode" = wine ]; then
    echo "run.sh: the network link runs with the Linux library (the DLL's multicast sender is not run under Wine)" >&2
    mode=native
fi
if [ "$link" = udp ] && [ "$(id -u)" != 0 ]; then
    echo "run.sh: --link udp makes a private network for the run, which needs root" >&2
    exit 2
fi
jobs=${TARVELMOND_JOBS:-2}

case "$mode" in
    wine) preset=win64 targets=(tarvelmond live_rig) ;;
    native) preset=native-release targets=(tarvelmond live_rig) ;;
    offline) preset=native-release targets=(offline_cue) ;;
esac

build() {
    cmake --preset "$preset" && cmake --build --preset "$preset" --target "${targets[@]}" -j "$jobs"
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

case "$mode" in
    offline)
        exec build/native-release/bin/offline_cue "${arguments[@]+"${arguments[@]}"}"
        ;;
    native)
        if [ "$link" = udp ]; then
            # The multicast sender sends only through a wired adapter: the run gets a network of its
            # own with one (a veth pair on a documentation address, the multicast groups routed
            # through it), so nothing it sends leaves this machine. The namespace ends with the run.
            exec unshare -n bash -c '
                set -e
                ip link set lo up
                ip link add rig0 type veth peer name rig0-peer
                ip link set rig0-peer up
                ip link set rig0 up
                ip addr add 192.0.2.1/24 dev rig0
                ip route add 224.0.0.0/4 dev rig0
                exec "$@"' live_rig build/native-release/bin/live_rig --adapter 192.0.2.1 \
                "${arguments[@]+"${arguments[@]}"}"
        fi
        exec build/native-release/bin/live_rig "${arguments[@]+"${arguments[@]}"}"
        ;;
    wine)
        source scripts/wine-env.sh
        wine_start
        status=0
        wine build/win64/bin/live_rig.exe "${arguments[@]+"${arguments[@]}"}" || status=$?
        wine_stop
        exit "$status"
        ;;
esac
