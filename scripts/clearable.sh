#!/usr/bin/env bash
# Redraws docs/clearable.png from the survey output in docs/survey/ (written by
# scripts/survey.sh) with gnuplot, and prints the figures as the README's table.
# A share is proven when every deal was either cleared or proven not clearable; otherwise the
# share cleared is a lower bound and the deals left open give the upper end ("99.0 to 99.5%").
set -euo pipefail
cd "$(dirname "$0")/.."
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

echo "| Colours | Board | Seeds 1 to 200 (tuned) | Seeds 1,000,001 to 1,000,200 |"
echo "|---|---|---|---|"
for size in 10x8 15x10; do
    for colours in 2 3 4 5; do
        row="| $colours | $size |"
        for set in tuned judged; do
            file="docs/survey/$colours-$size.txt"
            [ "$set" = tuned ] || file="docs/survey/$colours-$size-judged.txt"
            if [ ! -f "$file" ]; then
                row="$row |"
                continue
            fi
            share=$(awk -v colours="$colours" -v table="$data/$size-$set.dat" '
                /^#/ { next }
                { deals++; if ($2 == 0) cleared++; if ($4 != "optimal" && $2 > 0) open++ }
                END {
                    low = 100 * cleared / deals; high = 100 * (cleared + open) / deals
                    printf "%d %.1f %.1f %.1f %d\n", colours, low, low, high, open == 0 >> table
                    if (open == 0) printf "%.1f%% of %d", low, deals
                    else printf "%.1f to %.1f%% of %d", low, high, deals
                }' "$file")
            row="$row $share |"
        done
        echo "$row"
    done
done
touch "$data/10x8-tuned.dat" "$data/10x8-judged.dat" "$data/15x10-tuned.dat" \
      "$data/15x10-judged.dat"

gnuplot <<PLOT
set terminal pngcairo size 800,480 font ",11"
set output "docs/clearable.png"
set title "How often can a deal be cleared?"
set xlabel "colours"
set ylabel "deals that can be cleared (%)"
set xrange [1.7:5.3]
set yrange [95:100.5]
set xtics 1
set grid ytics
set key bottom left box opaque
# Filled points: proven shares. Open points with a bar: the share cleared is a lower bound,
# the bar reaches up to the share of deals not shown impossible.
plot "$data/10x8-tuned.dat" using (\$1-0.06):2 with lines lc rgb "#1f77b4" dt 1 title "10 x 8, seeds 1 to 200", \
     "$data/10x8-tuned.dat" using (\$1-0.06):(\$5 > 0.5 ? \$2 : 1/0) with points pt 7 ps 1.5 lc rgb "#1f77b4" notitle, \
     "$data/10x8-tuned.dat" using (\$1-0.06):(\$5 > 0.5 ? 1/0 : \$2):3:4 with yerrorbars pt 6 ps 1.5 lc rgb "#1f77b4" notitle, \
     "$data/10x8-judged.dat" using (\$1-0.02):2 with lines lc rgb "#1f77b4" dt 2 title "10 x 8, seeds from 1,000,001", \
     "$data/10x8-judged.dat" using (\$1-0.02):(\$5 > 0.5 ? \$2 : 1/0) with points pt 7 ps 1.5 lc rgb "#1f77b4" notitle, \
     "$data/10x8-judged.dat" using (\$1-0.02):(\$5 > 0.5 ? 1/0 : \$2):3:4 with yerrorbars pt 6 ps 1.5 lc rgb "#1f77b4" notitle, \
     "$data/15x10-tuned.dat" using (\$1+0.02):2 with lines lc rgb "#d62728" dt 1 title "15 x 10, seeds 1 to 200", \
     "$data/15x10-tuned.dat" using (\$1+0.02):(\$5 > 0.5 ? \$2 : 1/0) with points pt 7 ps 1.5 lc rgb "#d62728" notitle, \
     "$data/15x10-tuned.dat" using (\$1+0.02):(\$5 > 0.5 ? 1/0 : \$2):3:4 with yerrorbars pt 6 ps 1.5 lc rgb "#d62728" notitle, \
     "$data/15x10-judged.dat" using (\$1+0.06):2 with lines lc rgb "#d62728" dt 2 title "15 x 10, seeds from 1,000,001", \
     "$data/15x10-judged.dat" using (\$1+0.06):(\$5 > 0.5 ? \$2 : 1/0) with points pt 7 ps 1.5 lc rgb "#d62728" notitle, \
     "$data/15x10-judged.dat" using (\$1+0.06):(\$5 > 0.5 ? 1/0 : \$2):3:4 with yerrorbars pt 6 ps 1.5 lc rgb "#d62728" notitle, \
     1/0 with points pt 7 lc rgb "black" title "proven", \
     1/0 with points pt 6 lc rgb "black" title "lower bound (bar: up to)"
PLOT
