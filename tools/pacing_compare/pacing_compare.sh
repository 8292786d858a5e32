#!/usr/bin/env bash
# The old pacing (a 1 ms sleep early in each period, then a spin to 2000 us, in the game-source thread,
# the bridge and the multicast sender) and the new one (a sleep to an absolute deadline ended by the
# learned wake-up margin, and loops that wake when a frame is queued), side by side in one run: CPU per
# loop, tick period percentiles and game datagram -> controller latency, through tick_period and
# rig_latency, each run once per pacing (TARVELMOND_PACING=legacy selects the old one).
#
#   scripts/isolated.sh tools/pacing_compare/pacing_compare.sh [seconds] [--wine]
#
# Natively it runs build/native-release/bin; with --wine, build/win64/bin under Wine (the prefix of
# scripts/wine-env.sh, started and stopped here). Run it inside scripts/isolated.sh: rig_latency needs
# the game's and the controller's names to itself.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
seconds=20
wine=0
for arg in "$@"; do
    case "$arg" in
        --wine) wine=1 ;;
        *[!0-9]* | '') echo "usage: $0 [seconds] [--wine]" >&2; exit 2 ;;
        *) seconds=$arg ;;
    esac
done

if [ "$wine" = 1 ]; then
    # shellcheck source=../../scripts/wine-env.sh
    source "$repo/scripts/wine-env.sh"
    wine_start
    run() { local tool=$1; shift; wine "$repo/build/win64/bin/$tool.exe" "$@"; }
    where="tarvelmond.dll under Wine"
else
    run() { local tool=$1; shift; "$repo/build/native-release/bin/$tool" "$@"; }
    where="libtarvelmond.so (native-release)"
fi

out=$(mktemp -d)
trap 'rm -rf "$out"; if [ "$wine" = 1 ]; then wine_stop; fi' EXIT
for pacing in legacy deadline; do
    echo "running $pacing pacing: tick_period ${seconds} s, rig_latency ${seconds} s per controller ..." >&2
    TARVELMOND_PACING=$pacing run tick_period "$seconds" precise >"$out/tick_$pacing" 2>&1 || true
    TARVELMOND_PACING=$pacing run rig_latency "$seconds" >"$out/latency_$pacing" 2>&1 || true
done

# Fields of one line of a tool's output, by its leading words.
field() { grep -m1 -- "$2" "$out/$1" | tr -d '\r' | awk "{ print $3 }" || true; }
row() { printf '  %-34s %22s %22s\n' "$1" "$2" "$3"; }
period() { # mean p50 p99 max of tick_period's period line
    field "tick_$1" 'period us:' '$4" / "$6" / "$8" / "$10'
}
# The figures of one controller's line of rig_latency (its name fills the first 24 columns):
# frames/s, new frames/s, p50, p99, max, datagrams, bridge CPU.
controller() { grep -m1 -- "^$2" "$out/latency_$1" | tr -d '\r' | cut -c25- | awk "{ print $3 }" || true; }
latency() { controller "$1" "$2" '$3 " / " $4 " / " $5'; }
echo
echo "Pacing compared: $where, $seconds s per measurement; $(uptime | sed 's/.*load/load/')"
row "" "old (1 ms sleep + spin)" "new (deadline sleep)"
row "game-source thread CPU, % of a core" "$(field tick_legacy 'thread CPU' '$4')" "$(field tick_deadline 'thread CPU' '$4')"
row "bridge CPU, unthrottled, %" "$(controller legacy unthrottled '$7')" "$(controller deadline unthrottled '$7')"
row "bridge CPU, wire rate, %" "$(controller legacy 'wire rate' '$7')" "$(controller deadline 'wire rate' '$7')"
row "tick period mean/p50/p99/max, us" "$(period legacy)" "$(period deadline)"
row "periods within 2000 +- 50 us, %" "$(field tick_legacy 'within 2000' '$6')" "$(field tick_deadline 'within 2000' '$6')"
row "latency unthrottled p50/p99/max, ms" "$(latency legacy unthrottled)" "$(latency deadline unthrottled)"
row "latency wire rate p50/p99/max, ms" "$(latency legacy 'wire rate')" "$(latency deadline 'wire rate')"
row "frames/s unthrottled / wire rate" \
    "$(controller legacy unthrottled '$1') / $(controller legacy 'wire rate' '$1')" \
    "$(controller deadline unthrottled '$1') / $(controller deadline 'wire rate' '$1')"
for f in "$out"/*; do
    if ! grep -q 'p99\|period us' "$f"; then
        echo "$(basename "$f") did not measure:" >&2
        cat "$f" >&2
    fi
done
