#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs the whole test suite:
# the release build (unit tests, tools, window tests of both programs), the browser page,
# the sanitizer build, and the fuzzers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

cmake --preset win32
cmake --build --preset win32 -j "$jobs"
(cd build/win32 && cpack)  # the zip for Windows users

cmake --preset release
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

# The browser page: built with emscripten, zipped, and played in headless Chromium, every
# move checked by the release build's engine.
NODE_PATH=/usr/share/nodejs cmake --preset web
NODE_PATH=/usr/share/nodejs cmake --build --preset web -j "$jobs"
(cd build/web && cpack)  # the zip of the site
NODE_PATH=/usr/share/nodejs ctest --preset web -j "$jobs" -L web

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -LE window

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
bash fuzz/run.sh build/fuzz
