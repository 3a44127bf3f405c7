#!/usr/bin/env bash
# Installs what is missing, builds the browser page and serves it on this machine:
# bash scripts/play-web.sh [COLOURS WIDTH HEIGHT], then open the address it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export NODE_PATH=/usr/share/nodejs
cmake --preset web >/dev/null
cmake --build --preset web -j "$(nproc)"
query="${*:-3 10 8}"
echo "Open http://127.0.0.1:8000/index.html?${query// /+}  (Ctrl+C ends the server)"
exec python3 -m http.server --bind 127.0.0.1 --directory build/web/site 8000
