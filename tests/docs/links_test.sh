#!/usr/bin/env bash
# Every relative link and picture in README.md, CHANGELOG.md and docs/ must lead to a file or
# folder that exists. Links to web addresses, mail and anchors in the same page are passed
# over; a #fragment is cut off the rest. Code blocks and `code` are not read as links.
# Usage: links_test.sh SOURCE_DIR
set -euo pipefail
root=$(realpath "${1:?usage: links_test.sh SOURCE_DIR}")
cd "$root"

pages=(README.md CHANGELOG.md)
while IFS= read -r page; do
    pages+=("$page")
done < <(find docs -name '*.md' | sort)

missing=0
checked=0
for page in "${pages[@]}"; do
    if [ ! -f "$page" ]; then
        echo "$page: missing" >&2
        missing=$((missing + 1))
        continue
    fi
    folder=$(dirname "$page")
    # Each link as LINE<TAB>TARGET: [text](target), ![alt](target) and [name]: target.
    while IFS=$'\t' read -r line target; do
        case $target in
            http://* | https://* | mailto:* | '#'*) continue ;;
        esac
        target=${target%%#*}
        target=${target#<}
        target=${target%>}
        checked=$((checked + 1))
        if [ ! -e "$folder/$target" ]; then
            echo "$page:$line: no such file: $target" >&2
            missing=$((missing + 1))
        fi
    done < <(awk '
        /^[ \t]*(```|~~~)/ { fenced = !fenced; next }
        fenced { next }
        {
            text = $0
            gsub(/`[^`]*`/, "", text)
            if (match(text, /^[ \t]*\[[^]]+\]:[ \t]*[^ \t]+/)) {
                link = substr(text, RSTART, RLENGTH)
                sub(/^[ \t]*\[[^]]+\]:[ \t]*/, "", link)
                print NR "\t" link
                next
            }
            while (match(text, /\]\([^)]*\)/)) {
                link = substr(text, RSTART + 2, RLENGTH - 3)
                text = substr(text, RSTART + RLENGTH)
                sub(/^[ \t]+/, "", link)
                sub(/[ \t].*$/, "", link)  # a "title" after the target
                if (link != "") print NR "\t" link
            }
        }' "$page")
done

if [ "$missing" -gt 0 ]; then
    echo "$missing broken link(s) in ${#pages[@]} pages" >&2
    exit 1
fi
echo "$checked relative links in ${#pages[@]} pages, every one found"
