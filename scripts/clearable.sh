#!/usr/bin/env bash
# Redraws docs/clearable.png from the survey output in docs/survey/ (written by
# scripts/survey.sh) with gnuplot, and prints the figures as the README's table.
# A share is proven when every deal was either cleared or proven not clearable; otherwise the
# share cleared is a lower bound and the deals left open give the upper end.
set -euo pipefail
cd "$(dirname "$0")/.."
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

echo "| Colours | Board | Deals | Cleared | Proven optimal | Share clearable |"
echo "|---|---|---|---|---|---|"
for size in 10x8 15x10; do
    for colours in 2 3 4 5; do
        file="docs/survey/$colours-$size.txt"
        [ -f "$file" ] || continue
        awk -v colours="$colours" -v size="$size" -v table="$data/$size.dat" '
            /^#/ { next }
            { deals++; if ($2 == 0) cleared++; if ($4 == "optimal") proven++;
              else if ($2 > 0) open++ }
            END {
                low = 100 * cleared / deals; high = 100 * (cleared + open) / deals
                printf "%d %.1f %.1f %.1f %d\n", colours, low, low, high, open == 0 >> table
                share = open == 0 ? sprintf("%.1f%%", low) \
                                  : sprintf("at least %.1f%% (at most %.1f%%)", low, high)
                printf "| %d | %s | %d | %d | %d | %s |\n", colours, size, deals, cleared,
                       proven, share
            }' "$file"
    done
done

gnuplot <<PLOT
set terminal pngcairo size 800,480 font ",11"
set output "docs/clearable.png"
set title "How often can a deal be cleared?"
set xlabel "colours"
set ylabel "deals that can be cleared (%)"
set xrange [1.7:5.3]
set yrange [85:101]
set xtics 1
set grid ytics
set key bottom left box opaque
# Filled points: proven shares. Open points with a bar: the share cleared is a lower bound,
# the bar reaches up to the share of deals not shown impossible.
plot "$data/10x8.dat" using (\$1-0.03):2 with lines lc rgb "#1f77b4" title "10 x 8", \
     "$data/10x8.dat" using (\$1-0.03):(\$5 > 0.5 ? \$2 : 1/0) with points pt 7 ps 1.5 lc rgb "#1f77b4" notitle, \
     "$data/10x8.dat" using (\$1-0.03):(\$5 > 0.5 ? 1/0 : \$2):3:4 with yerrorbars pt 6 ps 1.5 lc rgb "#1f77b4" notitle, \
     "$data/15x10.dat" using (\$1+0.03):2 with lines lc rgb "#d62728" title "15 x 10", \
     "$data/15x10.dat" using (\$1+0.03):(\$5 > 0.5 ? \$2 : 1/0) with points pt 7 ps 1.5 lc rgb "#d62728" notitle, \
     "$data/15x10.dat" using (\$1+0.03):(\$5 > 0.5 ? 1/0 : \$2):3:4 with yerrorbars pt 6 ps 1.5 lc rgb "#d62728" notitle, \
     1/0 with points pt 7 lc rgb "black" title "proven", \
     1/0 with points pt 6 lc rgb "black" title "lower bound (bar: up to)"
PLOT
