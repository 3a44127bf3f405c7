#!/usr/bin/env bash
# A small survey split into three seed ranges and run through GNU parallel on this machine
# (as it would over --sshloginfile hosts), merged, must be the bytes of one run of the whole
# range; so must a run with two jobs.
# Usage: shards_test.sh QUILLOP_SURVEY
set -euo pipefail
survey=$(realpath "${1:?usage: shards_test.sh QUILLOP_SURVEY}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Four colours on 10 x 8 with a small budget: deals of very different work.
settings=(4 10 8)
budget=(--nodes 8000 --table 2)

"$survey" --jobs 1 "${settings[@]}" 3 9 "${budget[@]}" > whole.txt 2> whole.err
"$survey" --jobs 2 "${settings[@]}" 3 9 "${budget[@]}" > jobs.txt 2> jobs.err
cmp whole.txt jobs.txt

# Shards of seeds 3-5, 6-8 and 9-11; each output lands in shards/FIRST.txt.
parallel -S : --results "$work/shards/{}.txt" \
    "$survey" "${settings[@]}" {} 3 "${budget[@]}" ::: 3 6 9 < /dev/null
[ "$(ls shards/*.txt | wc -l)" -eq 3 ]
"$survey" --merge shards/*.txt > merged.txt
if ! cmp whole.txt merged.txt; then
    diff whole.txt merged.txt >&2 || true
    exit 1
fi
# Deals of different work, so that the two jobs finished out of seed order.
[ "$(grep -v '^#' whole.txt | cut -d ' ' -f 5 | sort -u | wc -l)" -ge 3 ]

# A shard cut short, as by a host lost mid-way, is refused and names the file.
head -n 3 shards/6.txt > shards/6.txt.cut
mv shards/6.txt.cut shards/6.txt
if "$survey" --merge shards/*.txt > refused.txt 2> refused.err; then
    echo "a cut shard was merged" >&2
    exit 1
fi
grep -q "shards/6.txt: ends after 2 of 3 deals" refused.err
[ ! -s refused.txt ]
echo "shards through parallel: merged output equals the one-process run"
