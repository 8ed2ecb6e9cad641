#!/bin/sh
# Instruction counts of whole runs, robust to a loaded machine: runs each
# workload under callgrind with REPEATS cut down (default: a tenth of the
# workload's, at least 1) and prints the total instructions executed, the
# instructions per repeat, the instructions of the draw floor (the same draws
# and nothing else, replayed by draw_floor) and the ratio of the two. Builds
# the same binaries as run.sh.
#
# usage: sh bench/callgrind.sh [DIVISOR] [WORKLOAD...]
# FOUNDABC_BIN=path/to/foundabc counts another build, as in run.sh.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
DIV=${1:-10}
[ $# -gt 0 ] && shift
WORKLOADS=${*:-small medium large founders3 log10}

SCRATCH_NAME=callgrind-run
. "$ROOT/bench/setup.sh"

printf '%-10s %8s %14s %14s %14s %8s\n' workload repeats instructions "instr/repeat" "floor instr" ratio
for w in $WORKLOADS; do
    repeats=$(awk '$1 == "REPEATS" { print $2 }' "$w.txt")
    n=$((repeats / DIV)); [ "$n" -ge 1 ] || n=1
    sed "s/^REPEATS .*/REPEATS $n #/" "$w.txt" > "cg_$w.txt"
    LD_PRELOAD=$FAKETIME_LIB valgrind --tool=callgrind --callgrind-out-file="cg_$w.out" \
        "$BIN" $CLOCK_SEED "cg_$w.txt" >/dev/null 2>"cg_$w.log"
    ir=$(awk '/^summary:/ { print $2 }' "cg_$w.out")
    LD_PRELOAD="$FAKETIME_LIB $BUILD/libdrawcount.so" FOUNDABC_DRAW_COUNTS="counts_$w" \
        "$BIN" $CLOCK_SEED "cg_$w.txt" >/dev/null
    valgrind --tool=callgrind --callgrind-out-file="cg_floor_$w.out" \
        "$BUILD/draw_floor" "counts_$w" >/dev/null 2>"cg_floor_$w.log"
    fl=$(awk '/^summary:/ { print $2 }' "cg_floor_$w.out")
    awk -v w="$w" -v n="$n" -v ir="$ir" -v fl="$fl" 'BEGIN {
        printf "%-10s %8d %14.0f %14.0f %14.0f %8.2f\n", w, n, ir, ir / n, fl, ir / fl }'
done
echo "profiles: $SCRATCH/cg_*.out (callgrind_annotate FILE)"
