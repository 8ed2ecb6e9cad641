#!/bin/sh
# Instruction counts of whole runs, robust to a loaded machine: runs each
# workload under callgrind with REPEATS cut down (default: a tenth of the
# workload's, at least 1) and prints the total instructions executed and the
# instructions per repeat. Builds the same optimised binary as run.sh.
#
# usage: sh bench/callgrind.sh [DIVISOR] [WORKLOAD...]
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$ROOT/build-bench
DIV=${1:-10}
[ $# -gt 0 ] && shift
WORKLOADS=${*:-small medium large founders3 log10}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DFOUNDABC_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j 2 >/dev/null
FAKETIME_LIB=$(ls /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 2>/dev/null || true)
[ -n "$FAKETIME_LIB" ] || { echo "callgrind: libfaketime not found (apt-get install faketime)"; exit 1; }
export FAKETIME="@2024-01-01 00:00:00"
SCRATCH=$BUILD/callgrind-run
rm -rf "$SCRATCH" && mkdir -p "$SCRATCH"
cp bench/workloads/* "$SCRATCH/"
cd "$SCRATCH"

printf '%-10s %8s %16s %14s\n' workload repeats instructions "instr/repeat"
for w in $WORKLOADS; do
    repeats=$(awk '$1 == "REPEATS" { print $2 }' "$w.txt")
    n=$((repeats / DIV)); [ "$n" -ge 1 ] || n=1
    sed "s/^REPEATS .*/REPEATS $n #/" "$w.txt" > "cg_$w.txt"
    LD_PRELOAD=$FAKETIME_LIB valgrind --tool=callgrind --callgrind-out-file="cg_$w.out" \
        "$BUILD/foundabc" "cg_$w.txt" >/dev/null 2>"cg_$w.log"
    ir=$(awk '/^summary:/ { print $2 }' "cg_$w.out")
    awk -v w="$w" -v n="$n" -v ir="$ir" 'BEGIN { printf "%-10s %8d %16.0f %14.0f\n", w, n, ir, ir / n }'
done
echo "profiles: $SCRATCH/cg_*.out (callgrind_annotate FILE)"
