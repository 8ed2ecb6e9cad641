#!/bin/sh
# Peak memory of the forest estimate for one observed point and for many:
# the forests are grown once and each point is estimated, printed and freed
# in turn, so the peak should not grow with the points. Makes a 2 000-row
# table of the shipped example, takes POINTS points from the table's own
# rows, and prints the peak resident size (GNU time -v) of each run.
# Usage: bench/forest_memory.sh [BUILD_DIR] [POINTS]   (default build, 10000)
set -eu
build=$(cd "${1:-build}" && pwd)
points=${2:-10000}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$here/examples/data.txt" "$here/examples/units.txt" . 2>/dev/null || true
sed 's/^REPEATS\( *\)20000 /REPEATS\12000 /' "$here/examples/params.txt" > params.txt
"$build/foundabc" params.txt --seed 1 --table t.tsv.gz > /dev/null 2>&1
head -1 t.tsv.observed.tsv > one.tsv
zcat t.tsv.gz | awk -F'\t' 'NR > 1 && NR <= 2 { print }' | cut -f9-26 >> one.tsv
head -1 t.tsv.observed.tsv > many.tsv
zcat t.tsv.gz | awk -F'\t' -v n="$points" 'NR > 1 { rows[++k] = $0 }
    END { for (i = 0; i < n; ++i) print rows[i % k + 1] }' | cut -f9-26 >> many.tsv
for file in one many; do
    /usr/bin/time -v "$build/foundabc-summary" --table t.tsv.gz --observed $file.tsv --tsv \
        --threads 1 > $file.out 2> $file.time
    printf '%-5s %6s points: peak RSS %s kB, %s s, %s output lines\n' "$file" \
        "$(($(wc -l < $file.tsv) - 1))" \
        "$(awk -F': ' '/Maximum resident/ { print $2 }' $file.time)" \
        "$(awk -F': ' '/Elapsed/ { print $2 }' $file.time)" "$(wc -l < $file.out)"
done
