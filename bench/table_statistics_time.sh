#!/bin/sh
# What the spread and shape statistics cost and change, run once by hand (not
# part of the test suite): the example (examples/params.txt, 20000 repeats)
# with --seed 1 --table, by this build and by an older build without those
# statistics, in turns, RUNS times each. Prints the median CPU time (user +
# system) of each, and checks that the results file and standard output are
# the same bytes and that the table without its columns 21-26 (the six later
# statistics) is the older build's table byte for byte.
#
# usage: FOUNDABC_OLD_BIN=/path/to/older/foundabc sh bench/table_statistics_time.sh [RUNS]
set -eu
runs=${1:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
new=${FOUNDABC_BIN:-$here/build/foundabc}
old=${FOUNDABC_OLD_BIN:?set FOUNDABC_OLD_BIN to a foundabc built without the later statistics}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for side in new old; do
    mkdir "$scratch/$side"
    cp "$here/examples/params.txt" "$here/examples/data.txt" "$scratch/$side/"
done

one() {  # SIDE BIN: one run, its CPU seconds appended to SIDE.times
    dir="$scratch/$1"
    rm -f "$dir/results.txt" "$dir"/table.tsv*
    (cd "$dir" && /usr/bin/time -f '%U %S' -o time.txt "$2" --seed 1 --table table.tsv params.txt \
        > stdout.txt)
    awk '{ print $1 + $2 }' "$dir/time.txt" >> "$scratch/$1.times"
}
i=0
while [ $i -lt "$runs" ]; do
    one new "$new"
    one old "$old"
    i=$((i + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "runs: $runs each; median CPU seconds: this build $(median "$scratch/new.times"), older build $(median "$scratch/old.times")"
same() { cmp -s "$1" "$2" && echo same || echo DIFFERENT; }
echo "results file: $(same "$scratch/new/results.txt" "$scratch/old/results.txt")"
echo "standard output: $(same "$scratch/new/stdout.txt" "$scratch/old/stdout.txt")"
cut -f 1-20,27- "$scratch/new/table.tsv" > "$scratch/new.cut"
echo "table without columns 21-26: $(same "$scratch/new.cut" "$scratch/old/table.tsv")"
echo "observed statistics without their last six: $(cut -f 1-12 "$scratch/new/table.tsv.observed.tsv" | cmp -s - "$scratch/old/table.tsv.observed.tsv" && echo same || echo DIFFERENT)"
echo "priors file: $(same "$scratch/new/table.tsv.priors.tsv" "$scratch/old/table.tsv.priors.tsv")"
