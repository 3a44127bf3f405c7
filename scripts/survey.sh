#!/usr/bin/env bash
# Runs the survey behind the README's chart: colours 2 to 5, seeds 1 to 200, SECONDS (10) a
# board at most, on the sizes given (10x8 and 15x10 when none), JOBS boards at once (one a
# core when unset; each job is a core and a table of its own). Writes
# docs/survey/COLOURS-SIZE.txt; then `bash scripts/clearable.sh` redraws docs/clearable.png.
# Run by hand: on one core it takes about a quarter of an hour.
set -euo pipefail
cd "$(dirname "$0")/.."
survey=${SURVEY:-build/release/tools/survey/quillop-survey}
jobs=${JOBS:-$(nproc)}
seconds=${1:-10}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10x8 15x10)
mkdir -p docs/survey
for size in "${sizes[@]}"; do
    for colours in 2 3 4 5; do
        out="docs/survey/$colours-$size.txt"
        "$survey" --jobs "$jobs" "$colours" "${size%x*}" "${size#*x}" 1 200 "$seconds" > "$out.part"
        mv "$out.part" "$out"
    done
done
