#!/usr/bin/env bash
# cmake/debian-changelog.cmake: a CHANGELOG.md in the agreed format becomes exactly this Debian
# changelog, gzipped without a name or time stamp; each way of breaking the format stops it
# with the file and line, and without an output file.
#   changelog_test.sh SCRIPT
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "changelog test: $*" >&2
    exit 1
}

# Runs the script on the text $1 for version 2.0.0; its messages in $work/said.
convert() {
    printf '%s' "$1" >"$work/CHANGELOG.md"
    rm -f "$work/changelog.gz"
    cmake -DCHANGELOG="$work/CHANGELOG.md" -DOUTPUT="$work/changelog.gz" -DVERSION=2.0.0 \
        -P "$script" >"$work/said" 2>&1
}

good='# Changelog

## 2.0.0 - 2024-02-29
- A bullet long enough to be wrapped, since Debian'"'"'s tools keep a changelog within eighty columns.
- Semicolons; and [brackets] stay as they are.

## 1.10.0 - 2023-01-01
- Older.
'
expected='quillop (2.0.0) unstable; urgency=medium

  * A bullet long enough to be wrapped, since Debian'"'"'s tools keep a changelog
    within eighty columns.
  * Semicolons; and [brackets] stay as they are.

 -- Quillop developers <quillop@example.org>  Thu, 29 Feb 2024 00:00:00 +0000

quillop (1.10.0) unstable; urgency=medium

  * Older.

 -- Quillop developers <quillop@example.org>  Sun, 1 Jan 2023 00:00:00 +0000'
convert "$good" || fail "a good changelog was refused: $(cat "$work/said")"
[ "$(zcat "$work/changelog.gz")" = "$expected" ] ||
    fail "the Debian changelog is:"$'\n'"$(zcat "$work/changelog.gz")"
# The gzip header: flags without a file name (bit 3), and no time stamp.
read -r -a header < <(od -An -tu1 -N8 "$work/changelog.gz")
[ $((header[3] & 8)) -eq 0 ] && [ "${header[*]:4:4}" = "0 0 0 0" ] ||
    fail "the gzip holds a name or time stamp: ${header[*]}"

# Each: the text, then the line the message must name.
bad_cases=(
    $'# Changes\n## 2.0.0 - 2024-01-01\n- a\n' 1
    $'# Changelog\n## 2.0.0 - 2023-02-29\n- a\n' 2
    $'# Changelog\n## 2.0.0 - 2024-13-01\n- a\n' 2
    $'# Changelog\n## 2.0.0 - 2024-01-01\n\n## 1.0.0 - 2023-01-01\n- a\n' 2
    $'# Changelog\n## 2.0.0 - 2024-01-01\n* a\n' 3
    $'# Changelog\n## 2.0.0 - 2024-01-01\n-a\n' 3
    $'# Changelog\n## 2.0 - 2024-01-01\n- a\n' 2
    $'# Changelog\n- a\n## 2.0.0 - 2024-01-01\n- b\n' 2
    $'# Changelog\n## 1.0.0 - 2023-01-01\n- a\n## 2.0.0 - 2024-01-01\n- b\n' 4
    $'# Changelog\n## 2.0.0 - 2024-01-01\n- a\n## 1.0.0 - 2024-06-01\n- b\n' 4
    $'# Changelog\n' 1
)
for ((i = 0; i < ${#bad_cases[@]}; i += 2)); do
    text=${bad_cases[i]} line=${bad_cases[i + 1]}
    ! convert "$text" || fail "accepted:"$'\n'"$text"
    grep -qF "CHANGELOG.md:$line: " "$work/said" ||
        fail "no CHANGELOG.md:$line in the message for:"$'\n'"$text"$'\n'"$(<"$work/said")"
    [ ! -e "$work/changelog.gz" ] || fail "an output file after refusing:"$'\n'"$text"
done
# A good file whose newest section is not the project's version.
! convert "${good//2.0.0/2.0.1}" || fail "accepted a newest section other than the version"
grep -qF 'the newest section is 2.0.1' "$work/said" ||
    fail "no word of the version: $(<"$work/said")"
echo "CHANGELOG.md becomes the Debian changelog; bad ones are refused with their line"
