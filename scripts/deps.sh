#!/usr/bin/env bash
# Installs the Debian packages that building, playing and testing need, when any is missing.
set -euo pipefail

packages=(cmake g++ make clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          libsdl2-dev g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64
          mingw-w64-x86-64-dev wine wine32:i386 wine64
          xvfb xauth xdotool x11-utils libx11-dev imagemagick valgrind zip file
          libstb-dev emscripten chromium parallel)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
# A node from elsewhere brings its own npm, and Debian's npm package would not fit it.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
