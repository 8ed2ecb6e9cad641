#!/bin/sh
# Speed of foundabc-summary on a reference table of 10^6 rows (by default).
# The forest, the default method: its default 500 trees per parameter on the
# first 10^4 and 10^5 rows of the table, and 10 trees per parameter on the
# whole table (the cost of one tree at that size; 500 trees take about 50
# times as long). The local-linear method: reading the table and estimating,
# from the plain table and from the gzipped one, and cross-validation on 100
# rows. Prints wall-clock and CPU time (user + system) and the peak resident
# size of each command. The forests grow on every core (--threads 0).
#
# usage: sh bench/table_summary.sh [ROWS]
# FOUNDABC_SUMMARY_BIN=path/to/foundabc-summary measures another build (and
# builds nothing).
#
# The table is synthetic (written here by awk, in the table format): the
# parameters drawn from priors like the example's, every statistic a noisy
# function of them, so that no statistic drops out and every row has all
# twelve. Numbers are written with 17 significant digits, as long as the
# run's shortest round-trip texts get.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
ROWS=${1:-1000000}
BUILD=$ROOT/build-bench
if [ -z "$FOUNDABC_SUMMARY_BIN" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DFOUNDABC_TESTS=OFF >/dev/null
    cmake --build "$BUILD" -j 2 --target foundabc-summary >/dev/null
fi
BIN=${FOUNDABC_SUMMARY_BIN:-$BUILD/foundabc-summary}
case $BIN in /*) ;; *) BIN=$ROOT/$BIN ;; esac
SCRATCH=$BUILD/table-bench
rm -rf "$SCRATCH" && mkdir -p "$SCRATCH" && cd "$SCRATCH"

awk -v rows="$ROWS" 'BEGIN {
    srand(20240101); OFS = "\t"; CONVFMT = OFMT = "%.17g"
    print "sim", "My", "TimeToOri", "PopSizeOriTha", "PopSizePreTha", "PopSizeOriSue", \
        "PopSizePreSue", "FracSueMono", "S_sue", "S_tha", "NAL_sue", "NAL_tha", "HET_sue", \
        "HET_tha", "VAR_sue", "VAR_tha", "MGW_sue", "MGW_tha", "DM2", "FST", "DS", "accepted"
    for (i = 1; i <= rows; i++) {
        my = exp(log(10) * (-4 + 3 * rand())); t = 10 + 990 * rand()
        not = 10 + 990 * rand(); npt = 100 + 9900 * rand()
        nos = 1 + 49 * rand(); nps = 10 + 4990 * rand(); frac = int(11 * rand()) / 10
        ts = my * nps; tt = my * npt
        printf "%d\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g\t%.17g", i, my, t, not, npt, nos, nps, frac
        printf "\t%.17g\t%.17g\t%.17g\t%.17g", 20 * ts * g(0.2), 20 * tt * g(0.2), 1 + 5 * ts * g(0.2), 1 + 5 * tt * g(0.2)
        printf "\t%.17g\t%.17g\t%.17g\t%.17g", ts / (1 + ts) + 0.05 * n(), tt / (1 + tt) + 0.05 * n(), ts * g(0.3) + nos / 100, tt * g(0.3)
        printf "\t%.17g\t%.17g\t%.17g\t%.17g", 0.5 + 0.1 * n() - t / 5000, 0.5 + 0.1 * n(), (ts + tt) * g(0.5) + t / 500, t / (t + nos * 20) + 0.05 * n()
        printf "\t%.17g\t%d\n", 10 * rand(), rand() < 0.01
    }
}
function n() { return sqrt(-2 * log(1 - rand())) * cos(6.283185307179586 * rand()) }
function g(s) { return exp(s * n()) }' > ref.tsv
gzip -6 -c ref.tsv > ref.tsv.gz
# The observed data: the statistics of one more draw near the middle of the priors.
printf 'S_sue\tS_tha\tNAL_sue\tNAL_tha\tHET_sue\tHET_tha\tVAR_sue\tVAR_tha\tMGW_sue\tMGW_tha\tDM2\tFST\n' > ref.tsv.observed.tsv
printf '40\t400\t11\t101\t0.67\t0.95\t2.3\t20\t0.44\t0.5\t21\t0.5\n' >> ref.tsv.observed.tsv

# The first 10^4 and 10^5 rows as tables of their own, for the forest.
for n in 10000 100000; do
    if [ "$n" -lt "$ROWS" ]; then
        head -n $((n + 1)) ref.tsv > ref$n.tsv
        cp ref.tsv.observed.tsv ref$n.tsv.observed.tsv
    fi
done

echo "table: $ROWS rows, $(du -m ref.tsv | cut -f1) MB plain, $(du -m ref.tsv.gz | cut -f1) MB gzipped"
printf '%-44s %9s %9s %10s\n' command "wall(s)" "cpu(s)" "peak(MB)"
measure() {
    label=$1; shift
    /usr/bin/time -f "%e %U %S %M" -o tm "$BIN" "$@" >/dev/null 2>&1
    awk -v l="$label" '{ printf "%-44s %9.2f %9.2f %10.0f\n", l, $1, $2 + $3, $4 / 1024 }' tm
}
for n in 10000 100000; do
    [ -f ref$n.tsv ] && measure "--table ref$n.tsv (forest, 500 trees)" --table ref$n.tsv
done
measure "--table ref.tsv --trees 10 (forest)" --table ref.tsv --trees 10
measure "--table ref.tsv --method loclinear" --table ref.tsv --method loclinear
measure "--table ref.tsv.gz --method loclinear" --table ref.tsv.gz --method loclinear
measure "--table ref.tsv --method rejection" --table ref.tsv --method rejection
measure "--table ref.tsv --method loclinear --cv 100" --table ref.tsv --method loclinear --cv 100
