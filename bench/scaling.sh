#!/bin/sh
# Scaling and reference-table cost on fixed workloads.
#
# 1. Repeats per second (wall clock, median of RUNS runs) of the clock-seeded
#    mode (--clock-seed), of seeded mode with 1 thread, and of 2 and 4 threads, with
#    the speed-up of 2 threads over 1.
# 2. CPU time (user + system, median) without a table, with --table FILE and
#    with --table FILE.gz, the overhead in per cent, and the table's size per
#    million simulations, plain and compressed.
#
# usage: sh bench/scaling.sh [RUNS] [WORKLOAD...]   (default 3 runs; medium large)
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
RUNS=${1:-3}
[ $# -gt 0 ] && shift
WORKLOADS=${*:-medium large}

SCRATCH_NAME=bench-scaling
. "$ROOT/bench/setup.sh"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
setting() { awk -v k="$1" 'toupper($1) == k { print $2; exit }' "$2"; }

# measure FIELD WORKLOAD OPTIONS...: median over RUNS of /usr/bin/time's FIELD
# (%e wall seconds, or "%U %S" summed to CPU seconds). Only the program runs
# under the frozen clock: /usr/bin/time must see the real one.
measure() {
    field=$1; w=$2; shift 2
    out=$(setting OUTFILE_NAME "$w.txt")
    : > samples
    i=0
    while [ $i -lt "$RUNS" ]; do
        rm -f "$out" table.tsv table.tsv.gz
        /usr/bin/time -f "$field" -o tm env LD_PRELOAD="$FAKETIME_LIB" "$BIN" "$@" "$w.txt" >/dev/null
        awk '{ s = 0; for (k = 1; k <= NF; k++) s += $k; print s }' tm >> samples
        i=$((i + 1))
    done
    median < samples
}

echo "Repeats per second (wall clock), on $(nproc) cores"
printf '%-10s %8s %10s %10s %10s %10s %8s\n' workload repeats clock seeded-1 seeded-2 seeded-4 "2 vs 1"
for w in $WORKLOADS; do
    n=$(setting REPEATS "$w.txt")
    d=$(measure %e "$w" $CLOCK_SEED)
    s1=$(measure %e "$w" --seed 1 --threads 1)
    s2=$(measure %e "$w" --seed 1 --threads 2)
    s4=$(measure %e "$w" --seed 1 --threads 4)
    awk -v w="$w" -v n="$n" -v d="$d" -v a="$s1" -v b="$s2" -v c="$s4" 'BEGIN {
        printf "%-10s %8d %10.1f %10.1f %10.1f %10.1f %8.2f\n", w, n, n / d, n / a, n / b, n / c, a / b }'
done

echo
echo "Reference table: CPU seconds and size"
printf '%-10s %10s %10s %10s %9s %9s %12s %12s\n' workload none plain gz "plain %" "gz %" "MB/1e6 plain" "MB/1e6 gz"
for w in small $WORKLOADS; do
    n=$(setting REPEATS "$w.txt")
    t0=$(measure "%U %S" "$w" $CLOCK_SEED)
    t1=$(measure "%U %S" "$w" $CLOCK_SEED --table table.tsv)
    plain=$(wc -c < table.tsv)
    t2=$(measure "%U %S" "$w" $CLOCK_SEED --table table.tsv.gz)
    gz=$(wc -c < table.tsv.gz)
    awk -v w="$w" -v n="$n" -v a="$t0" -v b="$t1" -v c="$t2" -v p="$plain" -v g="$gz" 'BEGIN {
        printf "%-10s %10.3f %10.3f %10.3f %9.1f %9.1f %12.1f %12.1f\n", w, a, b, c,
               100 * (b - a) / a, 100 * (c - a) / a, p / n, g / n }'
done
