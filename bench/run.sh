#!/bin/sh
# Benchmark of whole runs on fixed workloads seeded by a fixed clock
# (--clock-seed, so every run of a workload makes the same draws). For each workload it prints the median
# of RUNS runs: repeats per second, microseconds per locus, peak resident
# memory, the draw floor (the time to make the same draws and nothing else)
# and the ratio of run time to floor. Times are CPU times of the process
# (user + system), which a busy machine disturbs far less than wall-clock
# time; for a single-threaded run on an idle machine they are the same.
#
# usage: sh bench/run.sh [RUNS] [WORKLOAD...]     (default 5 runs, all workloads)
# FOUNDABC_BIN=path/to/foundabc measures another build of the program (for
# example an older commit) against the same workloads and floors.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
RUNS=${1:-5}
[ $# -gt 0 ] && shift
WORKLOADS=${*:-small medium large founders3 log10}

SCRATCH_NAME=bench-run
. "$ROOT/bench/setup.sh"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
setting() { awk -v k="$1" 'toupper($1) == k { print $2; exit }' "$2"; }

printf '%-10s %8s %10s %12s %10s %10s %10s %8s\n' workload repeats "cpu(s)" "repeats/s" "us/locus" "peak(MB)" "floor(s)" ratio
for w in $WORKLOADS; do
    repeats=$(setting REPEATS "$w.txt")
    loci=$(setting NUMBER_OF_LOCI "$w.txt")
    out=$(setting OUTFILE_NAME "$w.txt")
    : > times; : > mems
    i=0
    while [ $i -lt "$RUNS" ]; do
        rm -f "$out"
        LD_PRELOAD=$FAKETIME_LIB /usr/bin/time -f "%U %S %M" -o tm "$BIN" $CLOCK_SEED "$w.txt" >/dev/null
        awk '{ print $1 + $2 }' tm >> times; awk '{ print $3 }' tm >> mems
        i=$((i + 1))
    done
    rm -f "$out"
    LD_PRELOAD="$FAKETIME_LIB $BUILD/libdrawcount.so" FOUNDABC_DRAW_COUNTS=counts \
        "$BIN" $CLOCK_SEED "$w.txt" >/dev/null
    : > floors
    i=0
    while [ $i -lt "$RUNS" ]; do "$BUILD/draw_floor" counts >> floors; i=$((i + 1)); done
    t=$(median < times); m=$(median < mems); f=$(median < floors)
    awk -v w="$w" -v n="$repeats" -v l="$loci" -v t="$t" -v m="$m" -v f="$f" 'BEGIN {
        printf "%-10s %8d %10.3f %12.1f %10.2f %10.1f %10.3f %8.2f\n",
               w, n, t, n / t, t * 1e6 / (n * l), m / 1024, f, t / f }'
done
