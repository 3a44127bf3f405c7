#!/usr/bin/env bash
# Runs each libFuzzer harness of BUILD_DIR for a bounded time; fails on any finding.
# Usage: bash fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build_dir=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
harness="$build_dir/fuzz/quillop-fuzz-board"
if [ ! -x "$harness" ]; then
    echo "fuzz/run.sh: $harness is not built" >&2
    exit 1
fi
harness=$(realpath "$harness")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
# A few starting points: deals of several sizes, a loaded position, clicks, restores, reads.
printf '\x00\x05\x08\x06\x00\x00\x03\xe8\x00\x01\x01\x01\x02\x02\x0b\x0c\x03\x03' > "$work/corpus/deal"
printf '\x01\x03\x03\x04\x02\x00\x00\x01\x01\x00\x00\x02\x02\x02\x00\x00\x00\x01\x01' > "$work/corpus/load"
printf '\x06\x02\xff\xff\xff\xff\x00\x00\x00\x02\x00\x00\x00\x07\x00\x00\x00\x00' > "$work/corpus/huge"
printf '\x00\x01\x27\x27\x12\x34\x56\x78\x00\xf5\x80\x00\x00\x00\x01\x0f\x00\x01\x07\x07\x0c' > "$work/corpus/big"
cd "$work"
status=0
"$harness" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" > "$work/log" 2>&1 || status=$?
tail -n 40 "$work/log"
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
    echo "fuzz/run.sh: quillop-fuzz-board found a problem (status $status)" >&2
    for artifact in "$work/artifacts"/*; do
        [ -e "$artifact" ] && echo "  input: $(od -An -tx1 "$artifact" | tr -d '\n' | head -c 400)" >&2
    done
    exit 1
fi
echo "fuzz/run.sh: no findings in ${seconds}s"
