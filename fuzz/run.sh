#!/usr/bin/env bash
# Runs every libFuzzer harness of fuzz/ (NAME_fuzz.cpp, built as quillop-fuzz-NAME) for a
# bounded time each, starting from fuzz/seeds/NAME, after running it once on each input of
# fuzz/regressions/NAME (inputs that once crashed or took too long; kept out of the seeds
# when they would slow the fuzzing down). Fails on any finding and says which harness found
# what.
# Usage: bash fuzz/run.sh BUILD_DIR [SECONDS_PER_HARNESS]   (30 seconds each by default)
set -euo pipefail
build_dir=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_HARNESS]}
seconds=${2:-30}
sources=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

names=()
for source in "$sources"/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    names+=("${name//_/-}")
done

# A single input never needs more than a second; ten catch a harness that does too much.
run_harness() {
    local name=$1 harness=$2 dir=$work/$1
    mkdir -p "$dir/corpus" "$dir/artifacts"
    local seeds=()
    [ -d "$sources/seeds/$name" ] && seeds=("$sources/seeds/$name")
    if [ -d "$sources/regressions/$name" ]; then
        (cd "$dir" && "$harness" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$dir/artifacts/" "$sources/regressions/$name"/* > "$dir/log" 2>&1) ||
            return
    fi
    (cd "$dir" && "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" "${seeds[@]}" \
        > "$dir/log" 2>&1)
}

found=()
for name in "${names[@]}"; do
    harness=$build_dir/fuzz/quillop-fuzz-$name
    if [ ! -x "$harness" ]; then
        echo "fuzz/run.sh: $harness is not built" >&2
        found+=("$name (not built)")
        continue
    fi
    started=$SECONDS
    status=0
    run_harness "$name" "$(realpath "$harness")" || status=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name/log" | grep -o '[0-9]*$' || true)
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/$name/artifacts")" ]; then
        echo "fuzz/run.sh: $name FOUND A PROBLEM (status $status); the end of its log:" >&2
        grep -v '^#[0-9]' "$work/$name/log" | tail -n 40 >&2
        for artifact in "$work/$name/artifacts"/*; do
            [ -e "$artifact" ] || continue
            echo "  $(basename "$artifact"): $(od -An -tx1 "$artifact" | tr -d '\n' | head -c 400)" >&2
        done
        found+=("$name")
    else
        echo "fuzz/run.sh: $name: no findings in ${runs:-?} runs, $((SECONDS - started)) s"
    fi
done

if [ ${#found[@]} -ne 0 ]; then
    echo "fuzz/run.sh: findings in: ${found[*]}" >&2
    exit 1
fi
echo "fuzz/run.sh: ${#names[@]} harnesses, no findings"
