#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs the whole test suite in
# stages: the Windows builds and zip, the release build with every test (window tests of
# both programs included), the browser page, the sanitizer build, and the fuzzers for a
# bounded time. Every stage runs even when an earlier one failed; a summary ends the run,
# and the script fails when any stage did.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

stage_results=()

# Runs one stage (a function) in a subshell that stops at its first failing command.
run_stage() {
    local name=$1 function=$2 started=$SECONDS status=0
    echo "=== stage: $name"
    # Not part of an || list: there, set -e would be ignored inside the subshell.
    (set -e; "$function")
    status=$?
    local took="$((SECONDS - started))s"
    if [ "$status" -eq 0 ]; then
        stage_results+=("PASS  $name ($took)")
    else
        stage_results+=("FAIL  $name ($took, exit $status)")
    fi
}

install_packages() {
    bash scripts/deps.sh
}

windows_builds() {
    cmake --preset win32
    cmake --build --preset win32 -j "$jobs"
    (cd build/win32 && cpack)  # the zip for Windows users
    # The same program for x86-64: the Wine tests run it where 32-bit programs cannot run.
    cmake --preset win64
    cmake --build --preset win64 -j "$jobs"
}

release_tests() {
    cmake --preset release
    cmake --build --preset release -j "$jobs"
    local status=0
    ctest --preset release -j "$jobs" || status=$?
    # Which Windows build the Wine tests ran, and why.
    grep -h -m1 '^Windows program under test:' build/release/Testing/Temporary/LastTest.log || true
    return "$status"
}

# The browser page: built with emscripten, zipped, and played in headless Chromium, every
# move checked by the release build's engine.
web_page() {
    export NODE_PATH=/usr/share/nodejs  # where Debian's emscripten finds its node modules
    cmake --preset web
    cmake --build --preset web -j "$jobs"
    (cd build/web && cpack)  # the zip of the site
    ctest --preset web -j "$jobs" -L web
}

sanitizer_tests() {
    cmake --preset asan
    cmake --build --preset asan -j "$jobs"
    ctest --preset asan -j "$jobs" -LE window
}

fuzzing() {
    cmake --preset fuzz
    cmake --build --preset fuzz -j "$jobs"
    bash fuzz/run.sh build/fuzz
}

run_stage "install packages" install_packages
run_stage "Windows builds and zip" windows_builds
run_stage "release build and all tests" release_tests
run_stage "browser page" web_page
run_stage "sanitizer build and tests" sanitizer_tests
run_stage "fuzzing" fuzzing

echo
echo "=== summary"
failed=0
for result in "${stage_results[@]}"; do
    echo "$result"
    [[ $result == FAIL* ]] && failed=$((failed + 1))
done
echo "stages: $(( ${#stage_results[@]} - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
