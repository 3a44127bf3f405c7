#!/usr/bin/env bash
# Runs the survey behind the README's chart: colours 2 to 5 on 10 x 8 and 15 x 10, 200 seeds
# each, SECONDS (1) a board at most. Writes docs/survey/COLOURS-WIDTHxHEIGHT.txt; then
# `gnuplot scripts/clearable.gnuplot` redraws docs/clearable.png. Run by hand: it takes about
# half an hour of one core.
set -euo pipefail
cd "$(dirname "$0")/.."
survey=${SURVEY:-build/release/tools/survey/quillop-survey}
seconds=${1:-1}
mkdir -p docs/survey
for size in "10 8" "15 10"; do
    for colours in 2 3 4 5; do
        set -- $size
        out="docs/survey/$colours-${1}x$2.txt"
        "$survey" "$colours" "$1" "$2" 1 200 "$seconds" > "$out.part"
        mv "$out.part" "$out"
    done
done
