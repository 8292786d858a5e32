#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this Debian machine lacks.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-14-dev            # the fuzz preset (libFuzzer)
    clang-tidy clang-format             # scripts/tidy.sh (a CI stage) and the one .clang-format
    googletest libbenchmark-dev          # GoogleTest is built from source for every preset
    libtomlplusplus-dev                  # profile files of the offline replay
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    wine wine64                          # runs the Windows build's tests
    socat iproute2 util-linux procps     # pseudo-terminals, network namespaces, setsid/flock, pgrep
    python3-pytest                       # the Python binding's tests (pytest-3)
    mono-mcs mono-runtime                # the C# binding's smoke test
    libcpp-httplib-dev chromium          # the host's live view, and the headless browser that checks it
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
