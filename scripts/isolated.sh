#!/usr/bin/env bash
# Runs a command with the machine-wide names the tests use kept to itself: its own network (loopback
# only, so game and controller ports are free), its own /dev/shm (named blocks), its own process tree
# and its own home folder (the log file's Documents folder). Two checkouts can then run their test
# suites at the same time. Needs root (CI runs as root).
#
#   scripts/isolated.sh ctest --preset native -j2
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 command [argument ...]" >&2; exit 2; }

if [ "${TARVELMOND_ISOLATED:-}" != 1 ]; then
    exec unshare --net --ipc --pid --mount --fork --mount-proc env TARVELMOND_ISOLATED=1 "$0" "$@"
fi

ip link set lo up
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
# One home per checkout, kept: a Wine prefix made here links its Documents folder to it.
home="$(cd "$(dirname "$0")/.." && pwd)/build/home"
mkdir -p "$home/Documents"
unset XDG_DOCUMENTS_DIR
export HOME="$home"
exec "$@"
