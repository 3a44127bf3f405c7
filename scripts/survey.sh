#!/usr/bin/env bash
# Runs the survey behind the README's chart: colours 2 to 5, on the sizes given (10x8 and
# 15x10 when none), SECONDS (10) a board at most, JOBS boards at once (one a core when unset;
# each job is a core and a table of its own). Two sets of seeds each: 1 to 200, among the
# deals the solver was tuned on, into docs/survey/COLOURS-SIZE.txt, and 1,000,001 to
# 1,000,200, which nothing was tuned on, into docs/survey/COLOURS-SIZE-judged.txt. Then
# `bash scripts/clearable.sh` redraws docs/clearable.png.
# Run by hand: on two cores it takes about a quarter of an hour.
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
        for set in tuned judged; do
            out="docs/survey/$colours-$size.txt" first=1
            if [ "$set" = judged ]; then
                out="docs/survey/$colours-$size-judged.txt" first=1000001
            fi
            "$survey" --jobs "$jobs" "$colours" "${size%x*}" "${size#*x}" "$first" 200 \
                "$seconds" > "$out.part"
            mv "$out.part" "$out"
        done
    done
done
