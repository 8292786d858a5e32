#!/usr/bin/env bash
# ctest's emulator for the Windows test programs.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
wine_start
exec wine "$@"
