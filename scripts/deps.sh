#!/usr/bin/env bash
# Installs the Debian packages that building, playing and testing need, when any is missing.
set -euo pipefail

packages=(cmake g++ make clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          libsdl2-dev g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64
          mingw-w64-x86-64-dev wine wine32:i386 wine64
          xvfb xauth xdotool x11-utils libx11-dev imagemagick valgrind zip file
          libstb-dev emscripten chromium parallel lintian desktop-file-utils appstream)

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
# A mirror in the middle of a sync serves some lists at the wrong size for a while: try again,
# then go on with the lists that did come.
for try in 1 2 3; do
    apt-get update -qq && break
    echo "deps: some package lists did not come (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 10
done
# Wine's 32-bit part needs the i386 lists to match the installed amd64 libraries. Without it
# the Wine tests run the x86-64 build, so it is installed apart and may fail.
required=()
for package in "${missing[@]}"; do
    [ "$package" = wine32:i386 ] || required+=("$package")
done
if [ ${#required[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${required[@]}" </dev/null
fi
if [ ${#required[@]} -lt ${#missing[@]} ] &&
    ! apt-get install -y -qq --no-install-recommends wine32:i386 </dev/null; then
    echo "deps: Wine's 32-bit part cannot be installed now; the Wine tests run the x86-64 build" >&2
fi
