#!/usr/bin/env bash
# Installs what is missing, builds the desktop program and starts it with the given numbers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quillop -j "$(nproc)"
exec build/release/app/sdl/quillop "${@:-3 10 8}"
